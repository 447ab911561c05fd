// The request object over WinHTTP. One session per object, so cookies and kept-alive connections last
// from one request to the next; time-outs, proxy and options stay set on the object like the automation
// object's properties and are applied to each request at send.
#include <array>
#include <cstring>
#include <optional>

#include "runtime/request.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/wide.hpp"
#include "runtime/win32/winhttp_common.hpp"

namespace qiwa {
namespace {

// The automation object's own agent; perform_request normally sends its own "User-Agent" header.
constexpr wchar_t kAgent[] = L"Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
constexpr DWORD kReadPiece = 64 * 1024;

class WinHttpRequestObject final : public RequestObject {
 public:
  void set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override {
    timeouts_ = {resolve_ms, connect_ms, send_ms, receive_ms};
  }
  void set_proxy(std::string_view proxy) override { proxy_ = wide(proxy); }
  void open(HttpMethod method, std::string_view url) override;
  void set_option(RequestOption option, int value) override;
  void set_request_header(std::string_view name, std::string_view value) override;
  void send(std::string_view text) override { exchange(text.data(), text.size()); }
  void send(const Bytes& body) override { exchange(body.data(), body.size()); }
  Bytes response_body() override { return body_; }
  Text all_response_headers() override { return headers_; }
  int status() override { return status_; }
  RequestFailure failure() const override { return failure_; }

 private:
  void clear_response() {
    body_.clear();
    headers_.clear();
    status_ = 0;
  }
  void fail(RequestFailure why) {
    clear_response();
    failure_ = why;
    request_.reset();
    connection_.reset();
  }
  bool apply_settings();
  void exchange(const void* data, std::size_t size);
  bool read_body();

  WinHttpHandle session_;
  WinHttpHandle connection_;
  WinHttpHandle request_;
  std::optional<std::array<int, 4>> timeouts_;
  std::optional<std::wstring> proxy_;
  bool redirects_ = true;
  Bytes body_;
  Text headers_;
  int status_ = 0;
  RequestFailure failure_ = RequestFailure::not_opened;
};

void WinHttpRequestObject::set_option(RequestOption option, int value) {
  if (option == RequestOption::redirects) redirects_ = value != 0;
}

// Synchronous: every caller waits for the answer.
void WinHttpRequestObject::open(HttpMethod method, std::string_view url) {
  fail(RequestFailure::not_opened);
  std::optional<CrackedUrl> target = crack_url(url);
  if (!target) return;
  // The proxy in effect now goes into the session too: Wine ignores a proxy set on the request handle.
  if (!session_) session_ = open_session(kAgent, proxy_ ? proxy_->c_str() : nullptr);
  if (!session_) return;
  connection_.reset(WinHttpConnect(session_.get(), target->host.c_str(), target->port, 0));
  if (!connection_) return;
  std::wstring verb = wide(method_name(method));
  request_.reset(WinHttpOpenRequest(connection_.get(), verb.c_str(), target->path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    target->secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request_) connection_.reset();
}

// One header line per call, in call order. An empty value is added, never replaced: replacing with an empty
// value would delete the header (an empty "Cookie" must still go out).
void WinHttpRequestObject::set_request_header(std::string_view name, std::string_view value) {
  if (!request_) return;
  Text line(name);
  line += ": ";
  line += value;
  std::wstring header = wide(line);
  DWORD flags = WINHTTP_ADDREQ_FLAG_ADD | (value.empty() ? 0 : WINHTTP_ADDREQ_FLAG_REPLACE);
  WinHttpAddRequestHeaders(request_.get(), header.c_str(), static_cast<DWORD>(header.size()), flags);
}

bool WinHttpRequestObject::apply_settings() {
  HINTERNET h = request_.get();
  if (timeouts_ && !qiwa::set_timeouts(h, (*timeouts_)[0], (*timeouts_)[1], (*timeouts_)[2], (*timeouts_)[3]))
    return false;
  if (proxy_) {
    WINHTTP_PROXY_INFO info{};
    info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    info.lpszProxy = proxy_->data();
    info.lpszProxyBypass = nullptr;
    if (!WinHttpSetOption(h, WINHTTP_OPTION_PROXY, &info, sizeof info)) return false;
  }
  if (!redirects_) {
    DWORD feature = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(h, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature)) return false;
  }
  return refuse_insecure_redirects(h);
}

void WinHttpRequestObject::exchange(const void* data, std::size_t size) {
  clear_response();
  if (!request_) {
    failure_ = RequestFailure::not_opened;
    return;
  }
  if (size > kRequestBodyCap || !apply_settings()) return fail(RequestFailure::transport);
  DWORD length = static_cast<DWORD>(size);
  LPVOID body = size ? const_cast<void*>(data) : WINHTTP_NO_REQUEST_DATA;
  if (!WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, length, length, 0) ||
      !WinHttpReceiveResponse(request_.get(), nullptr))
    return fail(RequestFailure::transport);
  if (!read_body()) return;
  status_ = query_status(request_.get());
  // Like GetAllResponseHeaders: the header lines without the status line.
  std::wstring raw = query_raw_headers(request_.get());
  std::size_t first_line_end = raw.find(L"\r\n");
  raw.erase(0, first_line_end == std::wstring::npos ? raw.size() : first_line_end + 2);
  headers_ = narrow(raw);
  failure_ = RequestFailure::none;
  request_.reset();  // hands a kept-alive connection back to the session
  connection_.reset();
}

// The whole body, or false with the failure set. Too large: stopped at the cap without reading the rest.
bool WinHttpRequestObject::read_body() {
  std::optional<std::uint64_t> declared = query_content_length(request_.get());
  if (declared && *declared > kRequestBodyCap) {
    fail(RequestFailure::body_too_large);
    return false;
  }
  if (declared) body_.reserve(static_cast<std::size_t>(*declared));
  for (;;) {
    std::size_t at = body_.size();
    body_.resize(at + kReadPiece);
    DWORD got = 0;
    if (!WinHttpReadData(request_.get(), body_.data() + at, kReadPiece, &got)) {
      fail(RequestFailure::transport);
      return false;
    }
    body_.resize(at + got);
    if (got == 0) break;
    if (body_.size() > kRequestBodyCap) {
      fail(RequestFailure::body_too_large);
      return false;
    }
  }
  if (declared && body_.size() < *declared) {  // the connection closed before the announced end
    fail(RequestFailure::transport);
    return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<RequestObject> make_winhttp_request() { return std::make_shared<WinHttpRequestObject>(); }

}  // namespace qiwa
