#include "fakes/recording_request.hpp"

namespace qiwa::fakes {

RecordingRequest::RecordingRequest(ScriptedResponse response)
    : responder_([response](const SentRequest&) { return response; }) {}

RecordingRequest::RecordingRequest(Responder responder) : responder_(std::move(responder)) {}

void RecordingRequest::set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  std::lock_guard lock(mutex_);
  pending_.timeouts = std::array<int, 4>{resolve_ms, connect_ms, send_ms, receive_ms};
}

void RecordingRequest::set_proxy(std::string_view proxy) {
  std::lock_guard lock(mutex_);
  pending_.proxy = Text(proxy);
}

// A new request on the same object: its settings stay, its headers, options and body start afresh.
void RecordingRequest::open(HttpMethod method, std::string_view url) {
  std::lock_guard lock(mutex_);
  pending_.method = Text(method_name(method));
  pending_.url = Text(url);
  pending_.headers.clear();
  pending_.options.clear();
  pending_.body_text.clear();
  pending_.body_bytes.clear();
  pending_.body_was_bytes = false;
  opened_ = true;
}

void RecordingRequest::set_option(RequestOption option, int value) {
  std::lock_guard lock(mutex_);
  pending_.options[option] = value;
}

void RecordingRequest::set_request_header(std::string_view name, std::string_view value) {
  std::lock_guard lock(mutex_);
  pending_.headers.emplace_back(name, value);
}

void RecordingRequest::send(std::string_view text) {
  std::lock_guard lock(mutex_);
  SentRequest sent = pending_;
  sent.body_text = Text(text);
  answer(std::move(sent));
}

void RecordingRequest::send(const Bytes& body) {
  std::lock_guard lock(mutex_);
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
  return body_;
}

Text RecordingRequest::all_response_headers() {
  std::lock_guard lock(mutex_);
  return headers_;
}

int RecordingRequest::status() {
  std::lock_guard lock(mutex_);
  return status_;
}

RequestFailure RecordingRequest::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
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
}

RequestFactory RecordingRequestFactory::requests() const {
  return [state = state_]() -> std::shared_ptr<RequestObject> {
    std::lock_guard lock(state->mutex);
    if (state->fail) return nullptr;
    auto object = std::make_shared<RecordingRequest>(state->responder);
    state->created.push_back(object);
    return object;
  };
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
