#pragma once
// A minimal JSON writer for the driver's answers (UTF-8 out, UTF-16 in).
#include <windows.h>

#include <string>
#include <string_view>

namespace qiwa::driver {

std::string to_utf8(std::wstring_view w);
std::wstring from_utf8(std::string_view s);

// Appends values in order; the caller opens and closes objects and arrays.
class Json {
 public:
  Json& begin_object();
  Json& end_object();
  Json& begin_array();
  Json& end_array();
  Json& key(std::string_view k);
  Json& str(std::wstring_view v);
  Json& str8(std::string_view v);
  Json& num(long long v);
  Json& boolean(bool v);
  Json& null();
  Json& rect(const RECT& r);  // {"left","top","width","height"}
  const std::string& text() const { return out_; }

 private:
  void separate();
  std::string out_;
  bool need_comma_ = false;
};

}  // namespace qiwa::driver
