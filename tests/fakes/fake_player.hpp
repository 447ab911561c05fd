#pragma once
// A player that plays nothing: it records the calls, and what the file held when play was called.
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "runtime/player.hpp"
#include "runtime/posix/files_posix.hpp"

namespace qiwa::fakes {

class FakePlayer : public Player {
 public:
  bool play(std::string_view path, int times) override {
    std::lock_guard lock(mutex_);
    calls_.push_back("play " + Text(path) + " " + std::to_string(times));
    std::ifstream in(host_path(path), std::ios::binary);
    played_.push_back(in ? Text(std::istreambuf_iterator<char>(in), {}) : Text());
    return !fail_;
  }
  void pause() override { record("pause"); }
  void resume() override { record("resume"); }
  void stop() override { record("stop"); }

  void fail_every_play(bool fail) {
    std::lock_guard lock(mutex_);
    fail_ = fail;
  }
  std::vector<Text> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The content of the file at each play call ("" when it could not be read).
  std::vector<Text> played_contents() const {
    std::lock_guard lock(mutex_);
    return played_;
  }
  // The calls other than "stop", which the play operation issues before replacing a file.
  std::vector<Text> calls_without_stop() const {
    std::vector<Text> out;
    for (const Text& c : calls())
      if (c != "stop") out.push_back(c);
    return out;
  }

 private:
  void record(const char* what) {
    std::lock_guard lock(mutex_);
    calls_.push_back(what);
  }
  mutable std::mutex mutex_;
  std::vector<Text> calls_;
  std::vector<Text> played_;
  bool fail_ = false;
};

}  // namespace qiwa::fakes
