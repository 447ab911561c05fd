#pragma once
// Time as the program measures it: milliseconds of a steady clock, for waits and for following a song.
#include <cstdint>

namespace qiwa {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t now_ms() = 0;
};

}  // namespace qiwa
