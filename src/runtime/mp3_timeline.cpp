#include "runtime/mp3_timeline.hpp"

#include <algorithm>
#include <cmath>

namespace qiwa {

Mp3Trim song_trim(const std::optional<Mp3SummaryFrame>& summary, int samples_per_frame) {
  Mp3Trim trim;
  if (!summary || !summary->gapless) return trim;
  trim.skip = summary->gapless->delay + kDecoderDelay;
  if (summary->frames) {
    const std::int64_t encoded = static_cast<std::int64_t>(*summary->frames) * samples_per_frame;
    trim.length = std::max<std::int64_t>(0, encoded - summary->gapless->delay - summary->gapless->padding);
  }
  return trim;
}

std::int64_t constant_rate_samples(std::uint64_t audio_bytes, const Mp3FrameHeader& header) {
  if (header.bit_rate <= 0) return 0;
  return static_cast<std::int64_t>(audio_bytes * 8 * static_cast<std::uint64_t>(header.sample_rate) /
                                   static_cast<std::uint64_t>(header.bit_rate));
}

double gain_scale(double gain_db, double peak) {
  return std::min(std::pow(10.0, gain_db / 20.0), peak > 0 ? 1.0 / peak : 1.0);
}

void scale_samples(unsigned char* pcm, std::size_t bytes, double scale) {
  if (scale == 1.0) return;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const auto sample = static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8);
    const double scaled = std::clamp(std::round(sample * scale), -32768.0, 32767.0);
    const auto out = static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
    pcm[i] = static_cast<unsigned char>(out & 0xFF);
    pcm[i + 1] = static_cast<unsigned char>(out >> 8);
  }
}

}  // namespace qiwa
