#pragma once
// The process-wide MP3 player.
#include <cstdint>
#include <functional>

#include "runtime/song_source.hpp"
#include "runtime/types.hpp"

namespace qiwa {

class Player {
 public:
  virtual ~Player() = default;
  // Stops and discards the current song, then (unless times is 0) starts the file at once.
  // times -1 or less repeats without end. False when the file cannot be opened or is not MP3.
  virtual bool play(std::string_view path, int times = 1) = 0;
  // Plays, once, a file that is still being written, reading only what is there: while `state` says
  // growing it waits for more at the end, and it ends where the bytes end once complete or failed.
  virtual bool play_growing(std::string_view path, std::function<SourceState()> state) = 0;
  // Loads what playing needs (the audio system and the MP3 codec), so that a first song does not wait
  // for it; from any thread, once is enough.
  virtual void prepare() {}
  virtual void pause() = 0;   // nothing without a song
  virtual void resume() = 0;  // nothing unless paused
  virtual void stop() = 0;    // stops and closes the file
  // Milliseconds of the current song the device has played (not merely been handed), paused or not;
  // 0 before its sound starts and without a song.
  virtual std::int64_t position_ms() = 0;
};

}  // namespace qiwa
