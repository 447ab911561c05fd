#pragma once
// The system's FILETIME (100 ns steps since 1601) as the program's time (ms since 1970).
#include <windows.h>

#include <cstdint>

namespace qiwa {

inline std::int64_t unix_ms(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (ticks - 116444736000000000LL) / 10000;
}

}  // namespace qiwa
