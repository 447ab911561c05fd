#pragma once
// The request object driven by perform_request; its members mirror the automation object's.
// Failing members never throw: they leave an empty body, empty headers and status 0. An https server's
// certificate is always checked, and a redirect never leads from https to plain http.
#include <functional>
#include <memory>

#include "runtime/types.hpp"

namespace qiwa {

enum class HttpMethod { get, post, head, put, options, delete_, trace, connect };

// The automation object's option indexes that the program writes. There is none to ignore certificate
// errors: every https server's certificate is checked.
enum class RequestOption {
  redirects = 6  // 0 forbids following redirects
};

enum class RequestFailure { none, not_opened, transport, body_too_large };

inline constexpr std::size_t kRequestBodyCap = 16u << 20;

class RequestObject {
 public:
  virtual ~RequestObject() = default;
  virtual void set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) = 0;
  virtual void set_proxy(std::string_view proxy) = 0;  // a named proxy, "host:port"
  virtual void open(HttpMethod method, std::string_view url) = 0;  // synchronous
  virtual void set_option(RequestOption option, int value) = 0;
  virtual void set_request_header(std::string_view name, std::string_view value) = 0;
  virtual void send(std::string_view text) = 0;  // the text's bytes, unchanged
  virtual void send(const Bytes& body) = 0;
  virtual Bytes response_body() = 0;
  virtual Text all_response_headers() = 0;  // lines joined by CR LF
  virtual int status() = 0;
  virtual RequestFailure failure() const = 0;
};

// Makes a new request object; nullptr when none can be made.
using RequestFactory = std::function<std::shared_ptr<RequestObject>()>;

// The method's name on the wire.
std::string_view method_name(HttpMethod method);

}  // namespace qiwa
