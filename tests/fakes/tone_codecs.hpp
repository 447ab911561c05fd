#pragma once
// The platform's codecs for work outside the player, as doubles: each frame of the song's format sounds
// as a 997 Hz sine of the level the test chose (silence at 0), so a song's loudness is known beforehand.
// None is given until the test chooses a level, as for a song no codec takes; every one opened is counted.
#include <atomic>
#include <cmath>
#include <cstdint>

#include "runtime/mp3_codec.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

class ToneCodec : public Mp3Codec {
 public:
  ToneCodec(const Mp3FrameHeader& format, double amplitude)
      : format_(format), amplitude_(amplitude), input_(16 * 1024), output_(8 * frame_pcm_bytes()) {}

  PcmFormat pcm() const override { return {format_.sample_rate, format_.channels, 2 * format_.channels}; }
  unsigned char* input() override { return input_.data(); }
  std::size_t input_capacity() const override { return input_.size(); }
  const unsigned char* output() const override { return output_.data(); }

  bool convert(std::size_t size, bool, bool, std::size_t& consumed, std::size_t& produced) override {
    consumed = produced = 0;
    while (consumed < size && produced + frame_pcm_bytes() <= output_.size()) {
      const std::optional<Mp3FrameHeader> h = parse_frame_header(input_.data() + consumed, size - consumed);
      if (!h || !same_format(*h, format_)) return false;
      if (h->length > size - consumed) break;
      consumed += h->length;
      for (int i = 0; i < format_.samples; ++i, ++sample_) {
        const double v = amplitude_ * std::sin(2 * 3.14159265358979 * 997.0 * static_cast<double>(sample_) / format_.sample_rate);
        const auto s = static_cast<std::int16_t>(std::lround(v * 32767));
        for (int c = 0; c < format_.channels; ++c) {
          output_[produced++] = static_cast<unsigned char>(s & 0xFF);
          output_[produced++] = static_cast<unsigned char>((s >> 8) & 0xFF);
        }
      }
    }
    return true;
  }

 private:
  std::size_t frame_pcm_bytes() const { return static_cast<std::size_t>(format_.samples) * 2 * format_.channels; }

  Mp3FrameHeader format_;
  double amplitude_;
  Bytes input_, output_;
  std::int64_t sample_ = 0;
};

class ToneCodecs {
 public:
  // Songs decode as a sine of this peak (full scale 1.0); negative: no codec takes any song.
  void sound_at(double amplitude) { amplitude_ = amplitude; }
  int opened() const { return opened_; }

  Mp3Codecs codecs() {
    return [this](const Mp3FrameHeader& format) -> std::unique_ptr<Mp3Codec> {
      if (amplitude_ < 0) return nullptr;
      ++opened_;
      return std::make_unique<ToneCodec>(format, amplitude_.load());
    };
  }

 private:
  std::atomic<double> amplitude_{-1};
  std::atomic<int> opened_{0};
};

}  // namespace qiwa::fakes
