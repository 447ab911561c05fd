#pragma once
// The arithmetic between a song's frames and the samples a listener hears: which decoded samples are
// the song's own (the encoder's delay and padding and the decoder's delay trimmed), how long a song
// lasts, and the gain applied to its samples.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "runtime/mp3_frames.hpp"

namespace qiwa {

// Samples a standard Layer III decoder puts in front of the sound (its filter banks' delay); the
// LAME tag's delay and padding are counted without it.
inline constexpr int kDecoderDelay = 529;

// Which of the samples the decoder gives are the song's own.
struct Mp3Trim {
  std::int64_t skip = 0;               // decoded samples in front of the song's first
  std::optional<std::int64_t> length;  // the song's own samples, when the file says
};
// Without a LAME tag nothing is trimmed: the delay of whatever encoded the file is not known.
Mp3Trim song_trim(const std::optional<Mp3SummaryFrame>& summary, int samples_per_frame);

// The samples that `audio_bytes` of frames at the first frame's constant bit rate hold.
std::int64_t constant_rate_samples(std::uint64_t audio_bytes, const Mp3FrameHeader& header);

inline std::int64_t samples_at(std::int64_t ms, int rate) { return ms * rate / 1000; }
inline std::int64_t ms_at(std::int64_t samples, int rate) { return rate > 0 ? samples * 1000 / rate : 0; }

// The factor a gain in dB scales samples by, held back so that the song's sample peak (1.0: full
// scale) stays below full scale; without a peak (0) the song is not made louder at all.
double gain_scale(double gain_db, double peak);
// Scales 16-bit samples in place, rounded and held to their range; a factor of 1 leaves every bit.
void scale_samples(unsigned char* pcm, std::size_t bytes, double scale);

}  // namespace qiwa
