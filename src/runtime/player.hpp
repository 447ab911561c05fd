#pragma once
// The process-wide player: the song heard now, the one set to follow it (decoded ahead and started on
// the same open device, without a gap), seeking, pause and the program's own volume. What happens on
// its own (a song's sound starting, one song taking over from another, the end) is told through a
// listener, from the player's thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "runtime/song_source.hpp"
#include "runtime/types.hpp"

namespace qiwa {

// A song as the player takes it.
struct Song {
  Text path;
  std::uint64_t id = 0;  // the caller's, told back in events and the position
  // The download's state while the file still grows; none: the file is whole.
  std::function<SourceState()> growing;
  // The whole file's size while it grows, when known (a download's length): a constant-bit-rate song's
  // duration follows from it. 0: not known.
  std::uint64_t expected_bytes = 0;
  // Loudness levelling: a gain in dB, held back so that the song's sample peak (1.0: full scale)
  // never clips; without a peak (0) a gain only ever makes the song quieter.
  double gain_db = 0;
  double peak = 0;
};

// Where a song played now begins.
struct StartAt {
  std::int64_t ms = 0;  // a place that has not arrived yet: the start
  bool paused = false;  // loaded and held at its place; resume() plays on
};

struct PlayerEvent {
  enum class Kind {
    started,        // a song played now has its first sound at the device
    advanced,       // the song before (`previous`) ended and the one set to follow (`id`) took over
    drained,        // the song ended and none followed: nothing is loaded any more
    open_failed,    // the song (set to follow, or played now) cannot be read or holds no MP3 song
    source_failed,  // the song's download broke: its sound ends where its bytes end
  };
  Kind kind = Kind::started;
  std::uint64_t id = 0;
  std::uint64_t previous = 0;  // advanced: the song that ended
  bool gapless = true;         // advanced: false when the device was reopened for another format
};

struct PlayerPosition {
  std::uint64_t id = 0;  // the song being heard; 0: none
  std::int64_t ms = 0;   // played at the device (not merely handed to it)
  std::optional<std::int64_t> duration_ms;
  std::int64_t available_ms = 0;  // how far the bytes that have arrived reach
  bool paused = false;
  bool ended = false;  // the song played to its end and nothing followed; ms is where it ended
};

struct SeekResult {
  bool done = false;              // false: beyond what has arrived, or no song
  std::int64_t available_ms = 0;  // how far the bytes that have arrived reach
};

class Player {
 public:
  virtual ~Player() = default;
  // Loads what playing needs (the audio system and the MP3 codec), so that a first song does not wait
  // for it; from any thread, once is enough.
  virtual void prepare() {}
  // Stops what plays and plays the song (unpaused unless `at` says so); the song set to follow is
  // forgotten. False, and nothing plays, when its file cannot be opened or holds no MP3 song.
  virtual bool play(const Song& song, const StartAt& at = {}) = 0;
  // The song to follow the current one (none: nothing follows), replacing the one set before. It is
  // opened and its first buffers decoded before the current one ends. Nothing without a song loaded.
  virtual void set_next(std::optional<Song> next) = 0;
  // Set before playing; called on the player's thread, never while the player holds its lock (it may
  // call the player back). Events of songs a later play() or stop() replaced are not told.
  virtual void set_listener(std::function<void(const PlayerEvent&)> listener) = 0;
  // Moves the current song to `ms`, inside what has arrived; the position says so at once.
  virtual SeekResult seek(std::int64_t ms) = 0;
  virtual void pause() = 0;   // nothing without a song
  virtual void resume() = 0;  // nothing unless paused
  virtual void stop() = 0;    // stops and closes the files
  // 0 to 100: the program's own level on its sound stream, never the system's mixer; kept across songs.
  virtual void set_volume(int percent) = 0;
  virtual int volume() const = 0;
  virtual PlayerPosition position() = 0;

  // A whole file, or one still being written, played now without an id.
  bool play_file(std::string_view path) { return play_growing(path, {}); }
  bool play_growing(std::string_view path, std::function<SourceState()> state) {
    Song song;
    song.path = Text(path);
    song.growing = std::move(state);
    return play(song);
  }
  // Milliseconds of the current song the device has played; 0 without a song.
  std::int64_t position_ms() { return position().ms; }
};

}  // namespace qiwa
