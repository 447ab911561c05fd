#pragma once
// A RequestObject double: keeps what each request looked like when it was sent (what a server would
// have received, and the object's settings then) and answers with a scripted response.
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "runtime/request.hpp"

namespace qiwa::fakes {

struct ScriptedResponse {
  Bytes body;
  Text headers;  // CR LF lines, as all_response_headers() gives them
  int status = 200;
  RequestFailure failure = RequestFailure::none;  // anything but none: empty body and headers, status 0
};

// What the request looked like when it was sent; handed to a responder.
struct SentRequest {
  Text method;
  Text url;
  std::vector<std::pair<Text, Text>> headers;  // in the order they were set
  Text body_text;
  Bytes body_bytes;
  bool body_was_bytes = false;
  std::optional<std::array<int, 4>> timeouts;  // resolve, connect, send, receive; none: the object's own
  Text proxy;                                  // a named proxy, or empty
  std::map<RequestOption, int> options;        // written since open
};

// Chooses the answer when send() is called; it runs under the object's lock, so it must not call back into it.
using Responder = std::function<ScriptedResponse(const SentRequest&)>;

class RecordingRequest : public RequestObject {
 public:
  explicit RecordingRequest(ScriptedResponse response = {});
  explicit RecordingRequest(Responder responder);

  void set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override;
  void set_proxy(std::string_view proxy) override;
  void open(HttpMethod method, std::string_view url) override;
  void set_option(RequestOption option, int value) override;
  void set_request_header(std::string_view name, std::string_view value) override;
  void send(std::string_view text) override;
  void send(const Bytes& body) override;
  Bytes response_body() override;
  Text all_response_headers() override;
  int status() override;
  RequestFailure failure() const override;

  SentRequest last_sent() const;
  int send_count() const;

 private:
  void answer(SentRequest sent);

  mutable std::mutex mutex_;
  Responder responder_;
  SentRequest pending_;
  SentRequest last_sent_;
  bool opened_ = false;
  int sends_ = 0;
  Bytes body_;
  Text headers_;
  int status_ = 0;
  RequestFailure failure_ = RequestFailure::none;
};

// Makes RecordingRequest objects for the core (requests()) and keeps them.
class RecordingRequestFactory {
 public:
  explicit RecordingRequestFactory(ScriptedResponse response = {});
  explicit RecordingRequestFactory(Responder responder);

  // The factory to hand to the core. It holds the state itself, so objects made on a worker thread after
  // this owner is gone stay valid.
  RequestFactory requests() const;
  void set_response(ScriptedResponse response);  // for objects created from now on
  void set_responder(Responder responder);
  void fail_creation(bool fail);  // the factory gives nullptr while set
  std::vector<std::shared_ptr<RecordingRequest>> created() const;
  std::shared_ptr<RecordingRequest> last() const;  // nullptr when none was created

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qiwa::fakes
