#pragma once
// Time as the program measures it: milliseconds of a steady clock, for waits and for following a song;
// and the calendar's time, for what is kept across runs.
#include <cstdint>

namespace qiwa {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t now_ms() = 0;
  // Milliseconds since 1970-01-01 UTC: when a song was played or kept, compared by later runs.
  virtual std::int64_t wall_ms() = 0;
  // The same moment as the user's local clock reads it, for names a person reads.
  virtual std::int64_t local_wall_ms() = 0;
};

}  // namespace qiwa
