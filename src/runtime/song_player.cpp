#include "runtime/song_player.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "runtime/playback.hpp"
#include "runtime/thread.hpp"

namespace qiwa {
namespace {

// What callers ask of the playing thread, taken all at once at its next turn.
struct Requests {
  std::optional<LoadedSong> start;
  StartAt start_at;
  bool next_set = false;
  std::optional<Song> next;
  std::optional<std::int64_t> seek;
  std::optional<bool> paused;
  bool stop = false;

  bool any() const { return start || next_set || seek || paused || stop; }
};

class SongPlayer final : public Player {
 public:
  explicit SongPlayer(PlayerParts parts)
      : files_(parts.files), device_(std::move(parts.device)), codecs_(std::move(parts.codecs)),
        prepare_(std::move(parts.prepare)) {}
  ~SongPlayer() override { stop(); }

  void prepare() override {
    if (prepare_) std::call_once(prepared_, prepare_);
  }
  bool play(const Song& song, const StartAt& at) override;
  void set_next(std::optional<Song> next) override;
  void set_listener(std::function<void(const PlayerEvent&)> listener) override {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
  }
  SeekResult seek(std::int64_t ms) override;
  void pause() override { set_paused(true); }
  void resume() override { set_paused(false); }
  void stop() override {
    std::lock_guard control(control_);
    stop_thread();
  }
  void set_volume(int percent) override {
    volume_ = std::clamp(percent, 0, 100);
    device_->set_volume(volume_);
  }
  int volume() const override { return volume_; }
  PlayerPosition position() override;

 private:
  std::optional<LoadedSong> load(const Song& song);
  void stop_thread();
  void set_paused(bool paused);
  void run();
  std::vector<PlayerEvent> apply(Playback& playback, Requests& r);
  void publish(Playback& playback, std::uint64_t generation, const std::vector<PlayerEvent>& events);
  void tell(std::uint64_t generation, const std::vector<PlayerEvent>& events);

  Files& files_;
  std::unique_ptr<SoundDevice> device_;
  CodecFactory codecs_;
  std::function<void()> prepare_;
  std::once_flag prepared_;
  std::atomic<int> volume_{100};
  // play() and stop(), one at a time: they start and join the playing thread. That thread never takes
  // it, so a join under it cannot wait on itself.
  std::mutex control_;
  std::mutex mutex_;  // the rest, between callers and the playing thread
  Requests requests_;
  bool alive_ = false;           // a playing thread takes requests
  std::uint64_t generation_ = 0;  // counts plays and stops: a timeline of an older one is not shown
  Timeline timeline_;
  std::optional<std::int64_t> seeking_ms_;  // asked for and not yet at the device
  std::optional<Song> next_;                // set to follow and not yet taken over
  std::function<void(const PlayerEvent&)> listener_;
  Thread thread_;
};

std::optional<LoadedSong> SongPlayer::load(const Song& song) {
  std::unique_ptr<SongStream> stream =
      SongStream::open(open_song_source(files_, song.path, song.growing), codecs_, song.expected_bytes);
  if (!stream) return std::nullopt;
  stream->set_gain(song.gain_db, song.peak);
  return LoadedSong{song, std::move(stream)};
}

// The song is opened first, on the caller's thread, so that a refused file is told at once; what
// played stops either way.
bool SongPlayer::play(const Song& song, const StartAt& at) {
  std::lock_guard control(control_);
  std::optional<LoadedSong> loaded = load(song);
  if (!loaded) {
    stop_thread();
    return false;
  }
  // What the position says until the playing thread has begun: the song's extent is known already.
  const int rate = loaded->stream->pcm().sample_rate;
  PlaySegment first{0, song.id, 0, rate, std::nullopt, ms_at(loaded->stream->available(), rate)};
  if (const std::optional<std::int64_t> total = loaded->stream->duration()) first.duration_ms = ms_at(*total, rate);
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    requests_ = {};
    requests_.start = std::move(loaded);
    requests_.start_at = at;
    timeline_ = {};
    timeline_.paused = at.paused;
    timeline_.segments = {first};
    seeking_ms_ = std::max<std::int64_t>(0, at.ms);
    next_.reset();
    if (alive_) {
      device_->wake();
      return true;
    }
    alive_ = true;
  }
  thread_.join();  // one that ended by itself
  thread_ = Thread([this] { run(); });
  if (thread_.running()) return true;
  std::lock_guard lock(mutex_);
  alive_ = false;
  requests_ = {};
  timeline_ = {};
  seeking_ms_.reset();
  return false;
}

// With control_ held. The join waits for the thread outside mutex_, which the thread needs to end.
void SongPlayer::stop_thread() {
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    if (alive_) {
      requests_ = {};
      requests_.stop = true;
      device_->wake();
    }
  }
  thread_.join();
  std::lock_guard lock(mutex_);
  timeline_ = {};
  seeking_ms_.reset();
  next_.reset();
}

void SongPlayer::set_next(std::optional<Song> next) {
  std::lock_guard lock(mutex_);
  if (!alive_) return;
  const bool same = next && next_ && next->id == next_->id && next->path == next_->path;
  if (same || (!next && !next_ && !requests_.next_set)) return;  // nothing changes
  next_ = next;
  requests_.next_set = true;
  requests_.next = std::move(next);
  device_->wake();
}

SeekResult SongPlayer::seek(std::int64_t ms) {
  std::lock_guard lock(mutex_);
  if (!alive_ || timeline_.ended || timeline_.segments.empty()) return {};
  const std::int64_t available = timeline_.segments.front().available_ms;
  ms = std::max<std::int64_t>(0, ms);
  if (ms > available) return {false, available};
  requests_.seek = ms;
  seeking_ms_ = ms;
  device_->wake();
  return {true, available};
}

void SongPlayer::set_paused(bool paused) {
  std::lock_guard lock(mutex_);
  if (!alive_ || timeline_.ended) return;
  requests_.paused = paused;
  timeline_.paused = paused;
  device_->wake();
}

PlayerPosition SongPlayer::position() {
  Timeline timeline;
  std::optional<std::int64_t> seeking;
  {
    std::lock_guard lock(mutex_);
    timeline = timeline_;
    seeking = seeking_ms_;
  }
  PlayerPosition p = timeline.at(device_->played());
  if (seeking && p.id != 0 && !p.ended) p.ms = *seeking;
  return p;
}

void SongPlayer::run() {
  Playback playback(*device_);
  for (;;) {
    Requests r;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      r = std::move(requests_);
      requests_ = {};
      generation = generation_;
      if (r.stop || (!r.any() && playback.finished())) {
        alive_ = false;
        break;
      }
    }
    std::vector<PlayerEvent> events = apply(playback, r);
    playback.service();
    for (PlayerEvent& e : playback.take_events()) events.push_back(e);
    publish(playback, generation, events);
    tell(generation, events);
    device_->wait(playback.wait_ms());
  }
  device_->close();
}

// Opening the song to follow reads its file: it is done here, not on the caller's thread.
std::vector<PlayerEvent> SongPlayer::apply(Playback& playback, Requests& r) {
  std::vector<PlayerEvent> events;
  if (r.start) playback.start(std::move(*r.start), r.start_at);
  if (r.next_set) {
    std::optional<LoadedSong> next;
    if (r.next) {
      next = load(*r.next);
      if (!next) events.push_back({PlayerEvent::Kind::open_failed, r.next->id});
    }
    playback.set_next(std::move(next));
  }
  // A pause asked for with a seek comes first and a continue after it, so that no sound of either
  // place slips out between them.
  if (r.paused && *r.paused) playback.set_paused(true);
  if (r.seek) playback.seek(*r.seek);
  if (r.paused && !*r.paused) playback.set_paused(false);
  return events;
}

void SongPlayer::publish(Playback& playback, std::uint64_t generation, const std::vector<PlayerEvent>& events) {
  Timeline timeline = playback.timeline();
  std::lock_guard lock(mutex_);
  if (generation != generation_) return;  // a newer play or a stop has been asked for
  timeline_ = std::move(timeline);
  if (!requests_.seek) seeking_ms_.reset();
  for (const PlayerEvent& e : events) {
    const bool next_gone = e.kind == PlayerEvent::Kind::advanced ||
                           (e.kind == PlayerEvent::Kind::open_failed && next_ && next_->id == e.id);
    if (next_gone && !requests_.next_set) next_.reset();
  }
}

// Events of a song that a newer play or a stop has replaced are not told.
void SongPlayer::tell(std::uint64_t generation, const std::vector<PlayerEvent>& events) {
  if (events.empty()) return;
  std::function<void(const PlayerEvent&)> listener;
  {
    std::lock_guard lock(mutex_);
    if (generation != generation_) return;
    listener = listener_;
  }
  if (!listener) return;
  for (const PlayerEvent& e : events) listener(e);
}

}  // namespace

std::unique_ptr<Player> make_song_player(PlayerParts parts) {
  return std::make_unique<SongPlayer>(std::move(parts));
}

}  // namespace qiwa
