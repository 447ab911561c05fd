#pragma once
// A RequestObject double: logs every member call in order and answers with a scripted response.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/request.hpp"

namespace qiwa::fakes {

struct RecordedCall {
  std::string name;  // the member: "set_timeouts", "open", "set_request_header", "send_text", ...
  std::vector<std::string> args;  // each argument as text; a byte body as its raw bytes
  std::string str() const;        // "name(a, b)", for readable comparisons
  bool operator==(const RecordedCall&) const = default;
};

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
};

// Chooses the answer when send() is called; it runs under the object's lock, so it must not call back into it.
using Responder = std::function<ScriptedResponse(const SentRequest&)>;

class RecordingRequest : public RequestObject {
 public:
  explicit RecordingRequest(ScriptedResponse response = {});
  explicit RecordingRequest(Responder responder);

  void set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override;
  void set_proxy(int setting, std::string_view proxy) override;
  void open(std::string_view method, std::string_view url, bool async) override;
  void set_option(int index, int value) override;
  void set_request_header(std::string_view name, std::string_view value) override;
  void send(std::string_view text) override;
  void send(const Bytes& body) override;
  Bytes response_body() override;
  Text all_response_headers() override;
  int status() override;
  RequestFailure failure() const override;

  std::vector<RecordedCall> calls() const;
  std::vector<std::string> call_strings() const;  // str() of every call
  std::vector<RecordedCall> calls_named(std::string_view name) const;
  std::vector<std::pair<Text, Text>> request_headers() const;  // set since the last open
  SentRequest last_sent() const;
  int send_count() const;

 private:
  void log(std::string name, std::vector<std::string> args);
  void answer(SentRequest sent);

  mutable std::mutex mutex_;
  Responder responder_;
  std::vector<RecordedCall> calls_;
  SentRequest pending_;
  SentRequest last_sent_;
  bool opened_ = false;
  int sends_ = 0;
  Bytes body_;
  Text headers_;
  int status_ = 0;
  RequestFailure failure_ = RequestFailure::none;
};

// Installs a request factory that creates RecordingRequest objects while it lives, and keeps them.
class RecordingRequestFactory {
 public:
  explicit RecordingRequestFactory(ScriptedResponse response = {});
  explicit RecordingRequestFactory(Responder responder);
  ~RecordingRequestFactory();  // removes the factory again
  RecordingRequestFactory(const RecordingRequestFactory&) = delete;
  RecordingRequestFactory& operator=(const RecordingRequestFactory&) = delete;

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
