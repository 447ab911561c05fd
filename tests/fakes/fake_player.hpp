#pragma once
// A player that plays nothing: it records the calls (and what the file held when play was called), and
// raises the player's events when the test says so, on the test's own thread.
#include <atomic>
#include <mutex>
#include <vector>

#include "fakes/fake_files.hpp"
#include "runtime/player.hpp"

namespace qiwa::fakes {

class FakePlayer : public Player {
 public:
  explicit FakePlayer(FakeFiles& files) : files_(files) {}

  // Recorded as "play PATH" ("play-growing PATH" for a growing file), then " #ID", " @MS",
  // " paused" and " gain DB/PEAK" where they are not the defaults.
  bool play(const Song& song, const StartAt& at) override {
    std::optional<Text> content = files_.read(song.path);
    std::lock_guard lock(mutex_);
    calls_.push_back((song.growing ? "play-growing " : "play ") + song.path + described(song, at));
    played_.push_back(content.value_or(""));
    playing_ = song;
    next_.reset();
    position_ = {};
    position_.id = song.id;
    position_.paused = at.paused;
    position_ms_ = at.ms;
    return !fail_ && content;
  }
  // "next PATH #ID", or "next none".
  void set_next(std::optional<Song> next) override {
    std::lock_guard lock(mutex_);
    calls_.push_back(next ? "next " + next->path + described(*next, {}) : Text("next none"));
    next_ = std::move(next);
  }
  void set_listener(std::function<void(const PlayerEvent&)> listener) override {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
  }
  // "seek MS"; done when MS is within the available part the test set.
  SeekResult seek(std::int64_t ms) override {
    std::lock_guard lock(mutex_);
    calls_.push_back("seek " + std::to_string(ms));
    if (ms > position_.available_ms) return {false, position_.available_ms};
    position_ms_ = ms;
    return {true, position_.available_ms};
  }
  void pause() override { record("pause"); }
  void resume() override { record("resume"); }
  void stop() override { record("stop"); }
  void set_volume(int percent) override {
    record("volume " + std::to_string(percent));
    volume_ = percent;
  }
  int volume() const override { return volume_; }
  void prepare() override { ++prepares_; }
  PlayerPosition position() override {
    std::lock_guard lock(mutex_);
    PlayerPosition p = position_;
    p.ms = position_ms_.load();
    return p;
  }

  // What the test makes the player say.
  // Runs the listener now, as the player's thread would; an advance makes the next song the playing one.
  void raise(const PlayerEvent& event) {
    std::function<void(const PlayerEvent&)> listener;
    {
      std::lock_guard lock(mutex_);
      if (event.kind == PlayerEvent::Kind::advanced && next_) {
        playing_ = std::move(next_);
        next_.reset();
        position_.id = event.id;
      }
      listener = listener_;
    }
    if (listener) listener(event);
  }
  // Where the device is in the current song, as the test moves it.
  void set_position_ms(std::int64_t ms) { position_ms_ = ms; }
  void set_position(const PlayerPosition& p) {
    std::lock_guard lock(mutex_);
    position_ = p;
    position_ms_ = p.ms;
  }
  // Every later play refuses its file, as the real player refuses a file that is no song.
  void fail_every_play(bool fail) {
    std::lock_guard lock(mutex_);
    fail_ = fail;
  }

  // What the test looks at.
  std::vector<Text> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The calls other than "stop", which the play operation issues before replacing a file.
  std::vector<Text> calls_without_stop() const {
    std::vector<Text> out;
    for (const Text& c : calls())
      if (c != "stop") out.push_back(c);
    return out;
  }
  // The content of the file at each play call ("" when there was none).
  std::vector<Text> played_contents() const {
    std::lock_guard lock(mutex_);
    return played_;
  }
  // What the download tells the growing file's reader now; complete for a file played whole.
  SourceState growing_state() const {
    std::lock_guard lock(mutex_);
    return playing_ && playing_->growing ? playing_->growing() : SourceState::complete;
  }
  std::optional<Song> next_song() const {
    std::lock_guard lock(mutex_);
    return next_;
  }
  int prepares() const { return prepares_; }

 private:
  static Text described(const Song& song, const StartAt& at) {
    Text out;
    if (song.id != 0) out += " #" + std::to_string(song.id);
    if (at.ms != 0) out += " @" + std::to_string(at.ms);
    if (at.paused) out += " paused";
    if (song.gain_db != 0 || song.peak != 0) out += " gain " + std::to_string(song.gain_db) + "/" + std::to_string(song.peak);
    return out;
  }
  void record(const Text& what) {
    std::lock_guard lock(mutex_);
    calls_.push_back(what);
  }

  FakeFiles& files_;
  mutable std::mutex mutex_;
  std::vector<Text> calls_;
  std::vector<Text> played_;
  bool fail_ = false;
  std::optional<Song> playing_;
  std::optional<Song> next_;
  PlayerPosition position_;
  std::function<void(const PlayerEvent&)> listener_;
  std::atomic<std::int64_t> position_ms_{0};
  std::atomic<int> prepares_{0};
  std::atomic<int> volume_{100};
};

}  // namespace qiwa::fakes
