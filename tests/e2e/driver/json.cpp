#include "json.hpp"

#include <cstdio>

namespace qiwa::driver {

std::string to_utf8(std::wstring_view w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring from_utf8(std::string_view s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

void Json::separate() {
  if (need_comma_) out_ += ',';
  need_comma_ = true;
}

Json& Json::begin_object() {
  separate();
  out_ += '{';
  need_comma_ = false;
  return *this;
}

Json& Json::end_object() {
  out_ += '}';
  need_comma_ = true;
  return *this;
}

Json& Json::begin_array() {
  separate();
  out_ += '[';
  need_comma_ = false;
  return *this;
}

Json& Json::end_array() {
  out_ += ']';
  need_comma_ = true;
  return *this;
}

Json& Json::key(std::string_view k) {
  str8(k);
  out_ += ':';
  need_comma_ = false;
  return *this;
}

Json& Json::str(std::wstring_view v) { return str8(to_utf8(v)); }

Json& Json::str8(std::string_view v) {
  separate();
  out_ += '"';
  for (unsigned char c : v) {
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out_ += buf;
    } else {
      out_ += static_cast<char>(c);
    }
  }
  out_ += '"';
  return *this;
}

Json& Json::num(long long v) {
  separate();
  out_ += std::to_string(v);
  return *this;
}

Json& Json::boolean(bool v) {
  separate();
  out_ += v ? "true" : "false";
  return *this;
}

Json& Json::null() {
  separate();
  out_ += "null";
  return *this;
}

Json& Json::rect(const RECT& r) {
  begin_object();
  key("left").num(r.left).key("top").num(r.top);
  key("width").num(r.right - r.left).key("height").num(r.bottom - r.top);
  return end_object();
}

}  // namespace qiwa::driver
