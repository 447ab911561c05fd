#pragma once
// The process-wide MP3 player.
#include "runtime/types.hpp"

namespace qiwa {

class Player {
 public:
  virtual ~Player() = default;
  // Stops and discards the current song, then (unless times is 0) starts the file at once.
  // times -1 or less repeats without end. False when the file cannot be opened or is not MP3.
  virtual bool play(std::string_view path, int times = 1) = 0;
  virtual void pause() = 0;   // nothing without a song
  virtual void resume() = 0;  // nothing unless paused
  virtual void stop() = 0;    // stops and closes the file
};

}  // namespace qiwa
