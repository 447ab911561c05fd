#pragma once
// The player's engine, run by its one thread: the song heard now and the one set to follow, decoded
// into a few buffers on the sound device. When the current song's sound runs out, the next one's first
// samples go into the very next buffer, so the device plays them without a hole; the device is opened
// again only for another format. It tells what happened as events, and which song each of the device's
// samples belongs to as a timeline that position queries read from other threads.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/player.hpp"
#include "runtime/song_stream.hpp"
#include "runtime/sound_device.hpp"

namespace qiwa {

// A song the engine holds: the caller's song and its opened sound.
struct LoadedSong {
  Song song;
  std::unique_ptr<SongStream> stream;
  bool failure_told = false;  // source_failed has been reported
};

// From the device's sample `start` on, the song `id` from its sample `song_sample`.
struct PlaySegment {
  std::uint64_t start = 0;
  std::uint64_t id = 0;
  std::int64_t song_sample = 0;
  int rate = 0;
  std::optional<std::int64_t> duration_ms;
  std::int64_t available_ms = 0;
};

struct Timeline {
  std::vector<PlaySegment> segments;  // in the device's order: the song heard, then the one queued behind it
  bool paused = false;
  // Where a paused song is held: the device may take more of it meanwhile (a seek's first buffers).
  std::optional<std::int64_t> held_ms;
  std::optional<PlayerPosition> ended;  // where the last song ended, nothing following
  // The position once the device has played `played` samples since its opening or last reset.
  PlayerPosition at(std::uint64_t played) const;
};

class Playback {
 public:
  explicit Playback(SoundDevice& device) : device_(device) {}
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Drops what was queued and plays the song from `at`; the song set to follow is forgotten. False
  // (with open_failed) when the device will not open for it.
  bool start(LoadedSong song, const StartAt& at);
  // The song to follow, or none. Samples of an earlier one already queued are taken back, and the
  // current song is queued again from where it is heard.
  void set_next(std::optional<LoadedSong> next);
  // Moves the current song; false when its place has not arrived.
  bool seek(std::int64_t ms);
  void set_paused(bool paused);
  // Takes back the buffers the device has played (telling which songs ended and began) and fills the
  // free ones.
  void service();

  std::vector<PlayerEvent> take_events() { return std::move(events_); }
  // Walks the songs' frame indexes on a little, to tell how far their arrived bytes reach.
  Timeline timeline();
  // Nothing is left to play: the last song ended, or the device failed.
  bool finished() const { return finished_; }
  // How long the thread may sleep before the device gives a buffer back or a call comes: without
  // limit unless a growing file has been played up to its end for now (then it is looked at again).
  int wait_ms() const;

  static constexpr std::int64_t kBufferMs = 250;  // four of them: about a second queued
  static constexpr int kStarvedWaitMs = 50;

 private:
  // A buffer is decoded into, then handed to the device (never while paused: a device emptied by a
  // reset would start on the first write), then given back once played.
  enum class BufferState { free, ready, queued };
  struct Buffer {
    Bytes data;
    std::size_t size = 0;
    BufferState state = BufferState::free;
    std::uint64_t end = 0;  // the device's sample count once it is played
  };

  bool open_for(const PcmFormat& format);
  void restart_queue();
  PlaySegment current_from_here() const;
  void requeue();
  bool settle();
  void advance(bool gapless);
  void reopen_for_next();
  void drain();
  void fill();
  bool fill_one(int slot);
  void write_ready();
  void follow_on();
  void pause_device(bool paused);
  bool holding() const;
  LoadedSong& feeding() { return *(feeding_next_ ? next_ : current_); }
  std::int64_t heard_sample();

  SoundDevice& device_;
  std::optional<LoadedSong> current_;  // the song being heard
  std::optional<LoadedSong> next_;     // the song set to follow
  Buffer buffers_[SoundDevice::kSlots];
  std::vector<int> ready_;  // decoded buffers not yet handed over, in order
  PcmFormat format_;
  bool open_ = false;
  std::uint64_t decoded_ = 0;   // samples decoded for the device since its opening or last reset
  std::uint64_t returned_ = 0;  // of those, played and given back
  std::vector<PlaySegment> segments_;
  std::vector<PlayerEvent> events_;
  std::optional<PlayerPosition> ended_;
  std::optional<std::int64_t> held_ms_;  // paused there
  int filled_ = 0;             // buffers filled since the last start or seek: the first ones are short
  bool feeding_next_ = false;  // the next song's samples follow the current one's in the buffers
  bool fed_out_ = false;       // the song being fed has no more sound and none follows it yet
  bool reopen_ = false;        // the next song needs the device in another format, once it is empty
  bool starved_ = false;       // a growing file has been played up to what has arrived
  bool paused_ = false;
  bool device_paused_ = false;
  bool requeue_due_ = false;   // sought while paused: the paused device keeps what it holds until a resume
  bool started_told_ = false;
  bool finished_ = true;
};

}  // namespace qiwa
