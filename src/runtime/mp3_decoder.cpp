// The decoding loop, written for the strictest codec: it is handed whole frames a few at a time, and
// whatever it leaves of its input stays in front of the next frames.
#include "runtime/mp3_decoder.hpp"

#include <algorithm>
#include <cstring>

namespace qiwa {
namespace {

constexpr std::size_t kMaxFrame = 2048;  // a Layer III frame is at most 1441 bytes

}  // namespace

void Mp3Decoder::restart() {
  input_used_ = 0;
  pcm_begin_ = pcm_end_ = 0;
  frames_done_ = flushed_ = false;
  starting_ = true;
}

// Appends frames to the codec's input: a few at a time, and at least one frame's worth when there is
// room. Tells whether frames came, or why none did.
FrameRead Mp3Decoder::top_up() {
  unsigned char* input = codec_.input();
  const std::size_t capacity = codec_.input_capacity();
  FrameRead last = FrameRead::frame;
  for (int added = 0; !frames_done_ && added < kFramesPerConvert && input_used_ + kMaxFrame <= capacity; ++added) {
    const unsigned char* frame = nullptr;
    std::size_t length = 0;
    last = frames_.next(frame, length);
    if (last == FrameRead::end) frames_done_ = true;
    if (last != FrameRead::frame) break;
    std::memcpy(input + input_used_, frame, length);
    input_used_ += length;
  }
  return frames_done_ ? FrameRead::end : last;
}

// One call into the codec with what its input holds; false when it took and gave nothing. A codec that
// fails ends the song.
bool Mp3Decoder::convert(bool last) {
  std::size_t consumed = 0;
  std::size_t produced = 0;
  if (!codec_.convert(input_used_, starting_, last, consumed, produced)) {
    flushed_ = true;
    return false;
  }
  starting_ = false;
  consumed = std::min(consumed, input_used_);
  std::memmove(codec_.input(), codec_.input() + consumed, input_used_ - consumed);
  input_used_ -= consumed;
  pcm_begin_ = 0;
  pcm_end_ = produced;
  return consumed > 0 || produced > 0;
}

Decoded Mp3Decoder::read(unsigned char* out, std::size_t size) {
  std::size_t n = 0;
  while (n < size) {
    if (pcm_begin_ < pcm_end_) {
      const std::size_t take = std::min(size - n, pcm_end_ - pcm_begin_);
      std::memcpy(out + n, codec_.output() + pcm_begin_, take);
      pcm_begin_ += take;
      n += take;
      continue;
    }
    if (flushed_) return {n, FrameRead::end};
    const FrameRead got = top_up();
    if (got == FrameRead::wait && input_used_ == 0) return {n, FrameRead::wait};
    if (convert(frames_done_) || flushed_) continue;
    // Nothing moved: the codec wants more than the bytes so far hold, or the song is over once the
    // codec has given out its tail, or the codec refuses the data, which ends the song as well.
    if (got == FrameRead::wait) return {n, FrameRead::wait};
    if (frames_done_ && input_used_ > 0) {
      input_used_ = 0;  // less than the codec takes at once: dropped, then the tail
      continue;
    }
    flushed_ = true;
  }
  return {n, FrameRead::frame};
}

}  // namespace qiwa
