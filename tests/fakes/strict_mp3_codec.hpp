#pragma once
// An MP3 codec as strict as Windows' own: its input must start on a frame of the song's format, it takes
// whole frames only and at most three per call, holds the first frame of a pass back (so it gives
// nothing for it), now and then holds two and gives them at once, and gives out what it holds only
// when told the frames have ended. Its "sound" for a frame is the frame's marker byte (the first byte
// after the side information) repeated, so a test can read back which frames were decoded, in what
// order.
#include <cstring>
#include <deque>

#include "runtime/mp3_codec.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

class StrictMp3Codec : public Mp3Codec {
 public:
  // `holds_back` false: every frame's sound comes out at once, as Wine's codec gives it.
  explicit StrictMp3Codec(const Mp3FrameHeader& format, bool holds_back = true)
      : format_(format), input_(16 * 1024), output_(4 * frame_pcm_bytes()), holds_back_(holds_back) {}

  PcmFormat pcm() const override { return {format_.sample_rate, format_.channels, 2 * format_.channels}; }
  unsigned char* input() override { return input_.data(); }
  std::size_t input_capacity() const override { return input_.size(); }
  const unsigned char* output() const override { return output_.data(); }

  bool convert(std::size_t size, bool start, bool last, std::size_t& consumed, std::size_t& produced) override {
    consumed = produced = 0;
    ++calls_;
    if (start) {
      held_.clear();
      ++passes_;
    }
    if (size > input_.size()) return fail();
    for (int taken = 0; consumed < size && taken < 3; ++taken) {
      std::optional<Mp3FrameHeader> h = parse_frame_header(input_.data() + consumed, size - consumed);
      if (!h || !same_format(*h, format_)) return fail();  // not on a frame of the song
      if (h->length > size - consumed) break;                // half a frame: left for later
      if ((held_.size() + 1) * frame_pcm_bytes() > output_.size()) break;
      held_.push_back(input_[consumed + 4 + static_cast<std::size_t>(h->side_info_size)]);
      consumed += h->length;
    }
    // One frame stays behind, two on every fourth call, none once the frames have ended.
    const std::size_t keep = last || !holds_back_ ? 0 : (calls_ % 4 == 0 ? 2 : 1);
    while (held_.size() > keep) {
      std::memset(output_.data() + produced, held_.front(), frame_pcm_bytes());
      produced += frame_pcm_bytes();
      held_.pop_front();
    }
    return true;
  }

  std::size_t frame_pcm_bytes() const { return static_cast<std::size_t>(format_.samples) * 2 * format_.channels; }
  int failures() const { return failures_; }
  int passes() const { return passes_; }

 private:
  bool fail() {
    ++failures_;
    return false;
  }

  Mp3FrameHeader format_;
  Bytes input_;
  Bytes output_;
  std::deque<unsigned char> held_;
  int calls_ = 0;
  int passes_ = 0;
  int failures_ = 0;
  bool holds_back_ = true;
};

}  // namespace qiwa::fakes
