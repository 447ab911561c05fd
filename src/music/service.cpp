#include "music/service.hpp"

#include "http/request.hpp"
#include "runtime/codepage.hpp"
#include "runtime/text.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

bool has_high_bytes(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Strict UTF-8 check (no overlongs, no surrogates); plain ASCII passes.
bool is_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                  : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    auto c1 = static_cast<unsigned char>(n > 1 ? s[i + 1] : 0);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 >= 0x90))
      return false;
    i += n;
  }
  return true;
}

}  // namespace

Text service_url(std::string_view host, std::string_view callback_query) {
  Text url = "http://";
  url += host;
  url += "/gqss/api.php?";
  url += callback_query;
  return url;
}

Text percent_encode(std::string_view gbk) {
  static const char hex[] = "0123456789ABCDEF";
  Text out;
  for (char ch : gbk_to_utf8(gbk)) {
    auto c = static_cast<unsigned char>(ch);
    if (unreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

Text form_body(const FormFields& fields) {
  Text body;
  for (const auto& [key, value] : fields) {
    if (!body.empty()) body += '&';
    body += key;
    body += '=';
    body += percent_encode(value);
  }
  return body;
}

Text query_service_raw(std::string_view host, std::string_view callback_query, std::string_view form) {
  RequestOptions options;
  options.url = service_url(host, callback_query);
  options.method = 1;
  options.body_text = Text(form);
  RequestResult result = perform_request(options);
  if (result.failure != RequestFailure::none || result.status_out < 200 || result.status_out > 299) return {};
  return to_text(result.body);
}

Text query_service(std::string_view host, std::string_view callback_query, std::string_view form) {
  return decode_answer_value(query_service_raw(host, callback_query, form));
}

Text decode_answer_value(std::string_view raw) {
  if (has_high_bytes(raw) && is_utf8(raw)) return unescape_text(utf8_to_gbk(raw));
  return unescape_text(raw);
}

}  // namespace qiwa
