#pragma once
// A player that plays nothing: it records the calls, and what the file held when play was called.
#include <atomic>
#include <mutex>
#include <vector>

#include "fakes/fake_files.hpp"
#include "runtime/player.hpp"

namespace qiwa::fakes {

class FakePlayer : public Player {
 public:
  explicit FakePlayer(FakeFiles& files) : files_(files) {}

  bool play(std::string_view path, int times) override {
    std::optional<Text> content = files_.read(path);
    std::lock_guard lock(mutex_);
    calls_.push_back("play " + Text(path) + " " + std::to_string(times));
    played_.push_back(content.value_or(""));
    state_ = nullptr;
    return !fail_ && content;
  }
  bool play_growing(std::string_view path, std::function<SourceState()> state) override {
    std::optional<Text> content = files_.read(path);
    std::lock_guard lock(mutex_);
    calls_.push_back("play-growing " + Text(path));
    played_.push_back(content.value_or(""));
    state_ = std::move(state);
    return !fail_ && content;
  }
  // What the download tells the growing file's reader now; complete for a file played whole.
  SourceState growing_state() const {
    std::lock_guard lock(mutex_);
    return state_ ? state_() : SourceState::complete;
  }
  void prepare() override { ++prepares_; }
  int prepares() const { return prepares_; }
  void pause() override { record("pause"); }
  std::int64_t position_ms() override { return position_ms_.load(); }
  // Where the device is in the current song, as the test moves it.
  void set_position_ms(std::int64_t ms) { position_ms_ = ms; }
  void resume() override { record("resume"); }
  void stop() override { record("stop"); }

  // Every later play refuses its file, as the real player refuses a file that is no song.
  void fail_every_play(bool fail) {
    std::lock_guard lock(mutex_);
    fail_ = fail;
  }
  std::vector<Text> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The content of the file at each play call ("" when there was none).
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
  FakeFiles& files_;
  mutable std::mutex mutex_;
  std::vector<Text> calls_;
  std::vector<Text> played_;
  bool fail_ = false;
  std::function<SourceState()> state_;
  std::atomic<std::int64_t> position_ms_{0};
  std::atomic<int> prepares_{0};
};

}  // namespace qiwa::fakes
