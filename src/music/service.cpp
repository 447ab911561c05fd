#include "music/service.hpp"

#include "http/request.hpp"
#include "runtime/text.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

bool succeeded(const RequestResult& result) {
  return result.failure == RequestFailure::none && result.status_out >= 200 && result.status_out <= 299;
}

}  // namespace

Text service_url(std::string_view host, std::string_view callback_query) {
  Text url = "http://";
  url += host;
  url += "/gqss/api.php?";
  url += callback_query;
  return url;
}

Text percent_encode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  Text out;
  for (char ch : text) {
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

Text query_service_raw(const ServiceClient& service, std::string_view callback_query, std::string_view form) {
  RequestOptions options;
  options.url = service_url(service.host, callback_query);
  options.method = static_cast<int>(HttpMethod::post);
  options.body_text = Text(form);
  RequestResult result = perform_request(service.requests, options);
  return succeeded(result) ? to_text(result.body) : Text();
}

Text query_service(const ServiceClient& service, std::string_view callback_query, std::string_view form) {
  return unescape_text(query_service_raw(service, callback_query, form));
}

Bytes fetch_address(const ServiceClient& service, std::string_view url) {
  if (url.empty()) return {};
  RequestOptions options;
  options.url = Text(url);
  RequestResult result = perform_request(service.requests, options);
  return succeeded(result) ? std::move(result.body) : Bytes();
}

}  // namespace qiwa
