#pragma once
// The system's sound output as the player drives it (waveOut on Windows): a few buffers of 16-bit PCM
// queued in turn and given back once played, a position counted in samples, and the program's own
// volume on the stream.
#include <cstddef>
#include <cstdint>

#include "runtime/mp3_codec.hpp"

namespace qiwa {

class SoundDevice {
 public:
  virtual ~SoundDevice() = default;
  // Opens for the format, closing what was open; false when the system has no device for it.
  virtual bool open(const PcmFormat& format) = 0;
  // Takes every buffer back and closes; nothing when none is open.
  virtual void close() = 0;
  // Queues `size` bytes as buffer `slot` (0 to kSlots - 1), after those queued before: no gap between
  // them. The bytes stay untouched until back(slot).
  virtual bool write(int slot, const unsigned char* data, std::size_t size) = 0;
  // True once the buffer has been played (or dropped by reset) and is the caller's again.
  virtual bool back(int slot) = 0;
  // Drops every queued buffer at once (all come back) and counts the position from 0 again. Whether a
  // paused device stays paused differs between systems: resume() after the next writes plays for sure.
  virtual void reset() = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;
  // Samples played since the opening or the last reset. From any thread.
  virtual std::uint64_t played() = 0;
  // 0 to 100 on the stream (at 100 the samples go out as they are), kept for later openings. From any
  // thread.
  virtual void set_volume(int percent) = 0;
  // Sleeps until a buffer comes back or wake() is called, at most `ms` (negative: however long).
  virtual void wait(int ms) = 0;
  // From any thread.
  virtual void wake() = 0;

  static constexpr int kSlots = 4;
};

}  // namespace qiwa
