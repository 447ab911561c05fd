#pragma once
// The request object driven by perform_request; its members mirror the automation object's.
// Failing members never throw: they leave an empty body, empty headers and status 0.
#include <functional>
#include <memory>

#include "runtime/types.hpp"

namespace qiwa {

enum class RequestFailure { none, not_opened, transport, body_too_large };

inline constexpr std::size_t kRequestBodyCap = 16u << 20;

class RequestObject {
 public:
  virtual ~RequestObject() = default;
  virtual void set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) = 0;
  virtual void set_proxy(int setting, std::string_view proxy) = 0;  // 2: named proxy
  virtual void open(std::string_view method, std::string_view url, bool async) = 0;
  virtual void set_option(int index, int value) = 0;  // 6: redirects, 4: certificate errors ignored
  virtual void set_request_header(std::string_view name, std::string_view value) = 0;
  virtual void send(std::string_view text) = 0;  // sent as UTF-8
  virtual void send(const Bytes& body) = 0;      // sent unchanged
  virtual Bytes response_body() = 0;
  virtual Text all_response_headers() = 0;  // lines joined by CR LF
  virtual int status() = 0;
  virtual RequestFailure failure() const = 0;
};

using RequestFactory = std::function<std::shared_ptr<RequestObject>()>;

// The process's way of creating request objects (WinHTTP in the program, a double in tests).
void set_request_factory(RequestFactory factory);
// nullptr when no object can be created.
std::shared_ptr<RequestObject> create_request_object();

}  // namespace qiwa
