#include "fakes/fake_music_service.hpp"

namespace qiwa::fakes {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Text percent_decode(std::string_view s) {
  std::string utf8;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() + 0 && hex_value(s[i + 1]) >= 0 && hex_value(s[i + 2]) >= 0) {
      utf8 += static_cast<char>(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2]));
      i += 2;
    } else {
      utf8 += s[i] == '+' ? ' ' : s[i];
    }
  }
  return utf8;
}

std::vector<std::pair<Text, Text>> decode_form(std::string_view body) {
  std::vector<std::pair<Text, Text>> fields;
  while (!body.empty()) {
    std::size_t amp = body.find('&');
    std::string_view pair = body.substr(0, amp);
    std::size_t eq = pair.find('=');
    fields.emplace_back(percent_decode(pair.substr(0, eq)),
                        eq == std::string_view::npos ? Text() : percent_decode(pair.substr(eq + 1)));
    if (amp == std::string_view::npos) break;
    body.remove_prefix(amp + 1);
  }
  return fields;
}

}  // namespace

Text ServiceCall::field(std::string_view key) const {
  for (const auto& [k, v] : form)
    if (k == key) return v;
  return {};
}

ScriptedResponse jsonp(std::string_view json, std::string_view callback) {
  Text body = Text(callback) + "(" + Text(json) + ")";
  return ScriptedResponse{Bytes(body.begin(), body.end()), "Content-Type: text/javascript", 200};
}

ScriptedResponse bytes_response(std::string_view body, int status) {
  return ScriptedResponse{Bytes(body.begin(), body.end()), "", status};
}

FakeMusicService::FakeMusicService()
    : factory_(Responder([this](const SentRequest& sent) { return respond(sent); })) {}

void FakeMusicService::on(std::string_view types, ServiceHandler handler) {
  std::lock_guard lock(mutex_);
  handlers_[Text(types)] = std::move(handler);
}

void FakeMusicService::on_get(std::string_view url, ScriptedResponse response) {
  std::lock_guard lock(mutex_);
  gets_[Text(url)] = std::move(response);
}

std::vector<ServiceCall> FakeMusicService::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<ServiceCall> FakeMusicService::calls_of(std::string_view types) const {
  std::vector<ServiceCall> out;
  for (const ServiceCall& c : calls())
    if (c.field("types") == types) out.push_back(c);
  return out;
}

// Runs the handler outside the lock, so a slow handler does not hold up other requests.
ScriptedResponse FakeMusicService::respond(const SentRequest& sent) {
  ServiceCall call{sent.method, sent.url, sent.body_text, decode_form(sent.body_text)};
  ServiceHandler handler;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    if (sent.method == "GET") {
      auto it = gets_.find(sent.url);
      return it == gets_.end() ? bytes_response("not found", 404) : it->second;
    }
    auto it = handlers_.find(call.field("types"));
    if (it == handlers_.end()) return jsonp("[]");
    handler = it->second;
  }
  return handler(call);
}

}  // namespace qiwa::fakes
