#pragma once
// The music service as the flow tests see it: every request object made by requests() answers from
// here, and every request is kept with its form fields decoded.
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "fakes/recording_request.hpp"

namespace qiwa::fakes {

struct ServiceCall {
  Text method;
  Text url;
  Text body;                                 // as sent
  std::vector<std::pair<Text, Text>> form;   // percent-decoded
  Text field(std::string_view key) const;    // the first value of key, "" when absent
};

using ServiceHandler = std::function<ScriptedResponse(const ServiceCall&)>;

// A body as a service sends it: `callback(` + json + `)`.
ScriptedResponse jsonp(std::string_view json, std::string_view callback = "cb");
ScriptedResponse bytes_response(std::string_view body, int status = 200);

class FakeMusicService {
 public:
  FakeMusicService();
  // The request objects to hand to the core; every one of them answers from here.
  RequestFactory requests() const { return factory_.requests(); }
  // Answers the form posts whose "types" field is `types` (search, url, pic, lyric).
  void on(std::string_view types, ServiceHandler handler);
  // Answers a GET of exactly this URL.
  void on_get(std::string_view url, ScriptedResponse response);
  std::vector<ServiceCall> calls() const;
  std::vector<ServiceCall> calls_of(std::string_view types) const;

 private:
  ScriptedResponse respond(const SentRequest& sent);

  mutable std::mutex mutex_;
  std::map<Text, ServiceHandler> handlers_;
  std::map<Text, ScriptedResponse> gets_;
  std::vector<ServiceCall> calls_;
  RecordingRequestFactory factory_;
};

}  // namespace qiwa::fakes
