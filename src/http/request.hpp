#pragma once
// The program's one general HTTP request, driving a RequestObject through a single synchronous exchange.
#include <memory>
#include <optional>

#include "runtime/request.hpp"
#include "runtime/types.hpp"

namespace qiwa {

struct RequestOptions {
  Text url;                     // also the default "Referer"
  int method = 0;               // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
  Text body_text;               // sent when body_bytes is empty
  std::optional<Text> cookies;  // sent as "Cookie" (and merged) only when supplied
  Text headers;                 // extra request header lines, CR LF separated
  bool no_redirect = false;
  Bytes body_bytes;
  Text proxy;               // empty: no proxy setting
  int timeout_seconds = 0;  // -1 keeps the object's own; any other value below 1 means 15
  Text proxy_user;
  Text proxy_password;
  int proxy_auth_mode = 1;                      // 1 sends Basic proxy credentials
  std::shared_ptr<RequestObject> reuse_object;  // null: a new object is created
  bool merge_cookies = true;
  bool complete_headers = true;  // add the default headers `headers` lacks
};

struct RequestResult {
  Bytes body;                   // empty when nothing was received
  std::optional<Text> cookies;  // the cookies given, or the merged cookie text
  Text cookies_out;             // cookies set by the response (merged when merging ran)
  Text headers;                 // the completed and normalised header text that was sent
  Text headers_out;             // all response headers, CR LF lines
  int status_out = 0;
  bool object_created = false;  // false: no request object, nothing sent, the fields above keep the inputs
  RequestFailure failure = RequestFailure::none;
};

// The request through an object of `create` (or the options' reuse_object).
RequestResult perform_request(const RequestFactory& create, const RequestOptions& options);

// The method of a code; codes outside 0..7 are 0 ("GET").
HttpMethod method_of(int code);
Text method_text(int code);
// Milliseconds for all four time-outs, or nullopt to keep the object's own.
std::optional<int> timeout_milliseconds(int timeout_seconds);
// `headers` with the default header lines it lacks appended, each after a CR LF.
Text complete_default_headers(std::string_view headers, std::string_view url, int method);
// Header names capitalised at their start and after every "-"; lines without ": " dropped.
Text normalize_headers(std::string_view headers);
Text capitalize_word(std::string_view word);
Text header_name(std::string_view line);
Text header_value(std::string_view line);
Text base64_encode(const Bytes& bytes);

}  // namespace qiwa
