#pragma once
// A song's frames to PCM, a little at a time, as the device asks for it.
#include <cstddef>

#include "runtime/mp3_codec.hpp"
#include "runtime/mp3_reader.hpp"

namespace qiwa {

struct Decoded {
  std::size_t bytes = 0;
  FrameRead status = FrameRead::frame;  // frame: the buffer is full; wait: the bytes so far are used up
};

class Mp3Decoder {
 public:
  Mp3Decoder(Mp3FrameReader& frames, Mp3Codec& codec) : frames_(frames), codec_(codec) {}

  // Fills out with up to size bytes of PCM; fewer when the song's bytes so far are used up (`wait`) or
  // the song has ended, after the codec gave out its tail (`end`).
  Decoded read(unsigned char* out, std::size_t size);
  // The next read begins a fresh pass over rewound frames: the codec forgets the previous one.
  void restart();

  static constexpr int kFramesPerConvert = 8;

 private:
  FrameRead top_up();
  bool convert(bool last);

  Mp3FrameReader& frames_;
  Mp3Codec& codec_;
  std::size_t input_used_ = 0;  // frame bytes in the codec's input, waiting for it
  std::size_t pcm_begin_ = 0;   // decoded bytes in the codec's output not yet handed out
  std::size_t pcm_end_ = 0;
  bool frames_done_ = false;  // the frames have ended
  bool flushed_ = false;      // the codec gave out its tail, or failed
  bool starting_ = true;      // the next conversion is the first of a pass
};

}  // namespace qiwa
