#include "fakes/recording_request.hpp"

namespace qiwa::fakes {

std::string RecordedCall::str() const {
  std::string out = name + "(";
  for (std::size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i];
  return out + ")";
}

RecordingRequest::RecordingRequest(ScriptedResponse response)
    : responder_([response](const SentRequest&) { return response; }) {}

RecordingRequest::RecordingRequest(Responder responder) : responder_(std::move(responder)) {}

void RecordingRequest::log(std::string name, std::vector<std::string> args) {
  calls_.push_back({std::move(name), std::move(args)});
}

void RecordingRequest::set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  std::lock_guard lock(mutex_);
  log("set_timeouts", {std::to_string(resolve_ms), std::to_string(connect_ms), std::to_string(send_ms),
                       std::to_string(receive_ms)});
}

void RecordingRequest::set_proxy(int setting, std::string_view proxy) {
  std::lock_guard lock(mutex_);
  log("set_proxy", {std::to_string(setting), std::string(proxy)});
}

void RecordingRequest::open(std::string_view method, std::string_view url, bool async) {
  std::lock_guard lock(mutex_);
  log("open", {std::string(method), std::string(url), async ? "true" : "false"});
  pending_ = SentRequest{Text(method), Text(url), {}, {}, {}, false};
  opened_ = true;
}

void RecordingRequest::set_option(int index, int value) {
  std::lock_guard lock(mutex_);
  log("set_option", {std::to_string(index), std::to_string(value)});
}

void RecordingRequest::set_request_header(std::string_view name, std::string_view value) {
  std::lock_guard lock(mutex_);
  log("set_request_header", {std::string(name), std::string(value)});
  pending_.headers.emplace_back(name, value);
}

void RecordingRequest::send(std::string_view text) {
  std::lock_guard lock(mutex_);
  log("send_text", {std::string(text)});
  SentRequest sent = pending_;
  sent.body_text = Text(text);
  answer(std::move(sent));
}

void RecordingRequest::send(const Bytes& body) {
  std::lock_guard lock(mutex_);
  log("send_bytes", {std::string(body.begin(), body.end())});
  SentRequest sent = pending_;
  sent.body_bytes = body;
  sent.body_was_bytes = true;
  answer(std::move(sent));
}

// Like the real backend: nothing is answered without open, and a failure leaves nothing to read.
void RecordingRequest::answer(SentRequest sent) {
  ++sends_;
  last_sent_ = sent;
  body_.clear();
  headers_.clear();
  status_ = 0;
  if (!opened_) {
    failure_ = RequestFailure::not_opened;
    return;
  }
  ScriptedResponse r = responder_ ? responder_(sent) : ScriptedResponse{};
  failure_ = r.failure;
  if (failure_ == RequestFailure::none && r.body.size() > kRequestBodyCap)
    failure_ = RequestFailure::body_too_large;
  if (failure_ == RequestFailure::body_too_large) {
    headers_ = r.headers;
    status_ = r.status;
    return;
  }
  if (failure_ != RequestFailure::none) return;
  body_ = std::move(r.body);
  headers_ = std::move(r.headers);
  status_ = r.status;
}

Bytes RecordingRequest::response_body() {
  std::lock_guard lock(mutex_);
  log("response_body", {});
  return body_;
}

Text RecordingRequest::all_response_headers() {
  std::lock_guard lock(mutex_);
  log("all_response_headers", {});
  return headers_;
}

int RecordingRequest::status() {
  std::lock_guard lock(mutex_);
  log("status", {});
  return status_;
}

RequestFailure RecordingRequest::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

std::vector<RecordedCall> RecordingRequest::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingRequest::call_strings() const {
  std::vector<std::string> out;
  for (const RecordedCall& c : calls()) out.push_back(c.str());
  return out;
}

std::vector<RecordedCall> RecordingRequest::calls_named(std::string_view name) const {
  std::vector<RecordedCall> out;
  for (const RecordedCall& c : calls())
    if (c.name == name) out.push_back(c);
  return out;
}

std::vector<std::pair<Text, Text>> RecordingRequest::request_headers() const {
  std::lock_guard lock(mutex_);
  return pending_.headers;
}

SentRequest RecordingRequest::last_sent() const {
  std::lock_guard lock(mutex_);
  return last_sent_;
}

int RecordingRequest::send_count() const {
  std::lock_guard lock(mutex_);
  return sends_;
}

struct RecordingRequestFactory::State {
  std::mutex mutex;
  Responder responder;
  bool fail = false;
  std::vector<std::shared_ptr<RecordingRequest>> created;
};

RecordingRequestFactory::RecordingRequestFactory(ScriptedResponse response)
    : RecordingRequestFactory(Responder([response](const SentRequest&) { return response; })) {}

RecordingRequestFactory::RecordingRequestFactory(Responder responder) : state_(std::make_shared<State>()) {
  state_->responder = std::move(responder);
  // The factory holds the state itself, so an object made on a worker thread after this owner is gone stays
  // valid.
  set_request_factory([state = state_]() -> std::shared_ptr<RequestObject> {
    std::lock_guard lock(state->mutex);
    if (state->fail) return nullptr;
    auto object = std::make_shared<RecordingRequest>(state->responder);
    state->created.push_back(object);
    return object;
  });
}

RecordingRequestFactory::~RecordingRequestFactory() {
  set_request_factory(nullptr);
}

void RecordingRequestFactory::set_response(ScriptedResponse response) {
  set_responder([response](const SentRequest&) { return response; });
}

void RecordingRequestFactory::set_responder(Responder responder) {
  std::lock_guard lock(state_->mutex);
  state_->responder = std::move(responder);
}

void RecordingRequestFactory::fail_creation(bool fail) {
  std::lock_guard lock(state_->mutex);
  state_->fail = fail;
}

std::vector<std::shared_ptr<RecordingRequest>> RecordingRequestFactory::created() const {
  std::lock_guard lock(state_->mutex);
  return state_->created;
}

std::shared_ptr<RecordingRequest> RecordingRequestFactory::last() const {
  std::lock_guard lock(state_->mutex);
  return state_->created.empty() ? nullptr : state_->created.back();
}

}  // namespace qiwa::fakes
