#include "http/request.hpp"

#include <climits>

#include "http/cookies.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

void prepare(RequestObject& request, const RequestOptions& o) {
  if (std::optional<int> ms = timeout_milliseconds(o.timeout_seconds))
    request.set_timeouts(*ms, *ms, *ms, *ms);
  if (!o.proxy.empty()) request.set_proxy(o.proxy);
  request.open(method_of(o.method), o.url);
  if (o.no_redirect) request.set_option(RequestOption::redirects, 0);
}

void set_headers(RequestObject& request, const RequestOptions& o, const Text& headers) {
  if (!o.proxy.empty() && !o.proxy_user.empty() && o.proxy_auth_mode == 1)
    request.set_request_header("Proxy-Authorization",
                               "Basic " + base64_encode(to_bytes(o.proxy_user + ":" + o.proxy_password)));
  if (o.cookies) request.set_request_header("Cookie", *o.cookies);
  // Without a line break the whole text is one header, even an empty one.
  if (find(headers, "\r\n") < 0) {
    request.set_request_header(header_name(headers), header_value(headers));
    return;
  }
  for (const Text& line : split(headers, "\r\n"))
    if (!line.empty()) request.set_request_header(header_name(line), header_value(line));
}

void read_response(RequestObject& request, const RequestOptions& o, RequestResult& r) {
  r.body = request.response_body();
  r.headers_out = request.all_response_headers();
  r.status_out = request.status();
  r.cookies_out = extract_cookies(r.headers_out);
  if (o.merge_cookies && r.cookies) r.cookies_out = merge_cookie_text(*r.cookies, r.cookies_out);
  r.failure = request.failure();
}

// Capital letters at the start of the name and after every "-"; "-" is never the second byte of a pair.
Text capitalized_name(std::string_view name) {
  Text out(name);
  for (std::size_t i = 0; i < out.size(); ++i)
    if ((i == 0 || out[i - 1] == '-') && out[i] >= 'a' && out[i] <= 'z')
      out[i] = static_cast<char>(out[i] - 'a' + 'A');
  return out;
}

}  // namespace

HttpMethod method_of(int code) {
  return code < 0 || code > 7 ? HttpMethod::get : static_cast<HttpMethod>(code);
}

Text method_text(int code) { return Text(method_name(method_of(code))); }

std::optional<int> timeout_milliseconds(int timeout_seconds) {
  if (timeout_seconds == -1) return std::nullopt;
  if (timeout_seconds < 1) return 15000;
  return timeout_seconds > INT_MAX / 1000 ? INT_MAX : timeout_seconds * 1000;
}

Text complete_default_headers(std::string_view headers, std::string_view url, int method) {
  Text out(headers);
  auto add = [&out](std::string_view sought, std::string_view line) {
    if (find(out, sought, 1, true) < 0) out += "\r\n" + Text(line);
  };
  add("Accept:", "Accept: */*");
  add("Referer:", "Referer: " + Text(url));
  add("Accept-Language:", "Accept-Language: zh-cn");
  add("User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  if (method_of(method) == HttpMethod::post) add("Content-Type:", "Content-Type: application/x-www-form-urlencoded");
  return out;
}

// A value that itself holds ": " is kept whole, so no header value is silently emptied.
Text normalize_headers(std::string_view headers) {
  Text out;
  for (const Text& line : split(headers, "\r\n")) {
    int separator = find(line, ": ");
    if (separator < 0) continue;
    Text value = middle(line, separator + 2, length(line));
    out += capitalized_name(left(line, separator - 1)) + ": " + value + "\r\n";
  }
  return left(out, length(out) - 2);
}

Text capitalize_word(std::string_view word) {
  Text out(word);
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
  return out;
}

Text header_name(std::string_view line) {
  int colon = find(line, ":");
  return colon < 0 ? Text() : trim(left(line, colon - 1));
}

Text header_value(std::string_view line) {
  int colon = find(line, ":");
  return colon < 0 ? Text() : trim(middle(line, colon + 1, length(line)));
}

Text base64_encode(const Bytes& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Text out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    int b0 = bytes[i];
    int b1 = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    int b2 = i + 2 < bytes.size() ? bytes[i + 2] : 0;
    out += kAlphabet[shift_right(b0, 2)];
    out += kAlphabet[shift_left(bit_and(b0, 3), 4) + shift_right(b1, 4)];
    out += i + 1 < bytes.size() ? kAlphabet[shift_left(bit_and(b1, 15), 2) + shift_right(b2, 6)] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[bit_and(b2, 63)] : '=';
  }
  return out;
}

RequestResult perform_request(const RequestFactory& create, const RequestOptions& options) {
  RequestResult result;
  result.cookies = options.cookies;
  result.headers = options.headers;
  std::shared_ptr<RequestObject> request = options.reuse_object ? options.reuse_object
                                           : create                ? create()
                                                                   : nullptr;
  if (!request) return result;
  result.object_created = true;
  prepare(*request, options);
  result.headers = normalize_headers(
      options.complete_headers ? complete_default_headers(options.headers, options.url, options.method)
                               : options.headers);
  set_headers(*request, options, result.headers);
  if (!options.body_bytes.empty())
    request->send(options.body_bytes);
  else
    request->send(options.body_text);
  read_response(*request, options, result);
  return result;
}

}  // namespace qiwa
