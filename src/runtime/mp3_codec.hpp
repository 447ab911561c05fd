#pragma once
// The system's MP3 codec as the decoder drives it: whole frames in, 16-bit PCM out, each through a
// buffer the codec owns. A strict codec (Windows' own) takes whole frames only, may take less than it
// is given, gives nothing for the first frame and sometimes two frames' sound at once.
#include <cstddef>
#include <functional>
#include <memory>

#include "runtime/mp3_frames.hpp"

namespace qiwa {

struct PcmFormat {
  int sample_rate = 0;
  int channels = 0;
  int block_align = 0;  // bytes of one sample of every channel
  friend bool operator==(const PcmFormat&, const PcmFormat&) = default;
};

class Mp3Codec {
 public:
  virtual ~Mp3Codec() = default;
  virtual PcmFormat pcm() const = 0;
  virtual unsigned char* input() = 0;  // room for input_capacity() bytes of frames
  virtual std::size_t input_capacity() const = 0;
  virtual const unsigned char* output() const = 0;
  // Converts the first `size` bytes of input(): `start` for the first call of a pass over the song,
  // `last` when no frame follows these (the codec then gives out what it holds back). Tells how many
  // input bytes it took and how many PCM bytes it wrote to output(); false when it failed.
  virtual bool convert(std::size_t size, bool start, bool last, std::size_t& consumed, std::size_t& produced) = 0;
};

// The system's codec for a song's format, opened anew for each song (null when none takes it): the
// player has its own, and work outside the player (measuring a song's loudness) asks for another.
using Mp3Codecs = std::function<std::unique_ptr<Mp3Codec>(const Mp3FrameHeader& format)>;

}  // namespace qiwa
