#pragma once
// Where each audio frame of a song begins, found by walking the song's bytes as they arrive with a
// reader of its own (the decoding is not disturbed), so that a seek jumps to its frame without reading
// the song again, and the song's extent is known while it downloads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/mp3_reader.hpp"

namespace qiwa {

class Mp3FrameIndex {
 public:
  explicit Mp3FrameIndex(SongSource& source);

  // Walks on over at most about `budget` bytes: `frame` while there is more to walk, `wait` at the end
  // of what has arrived, `end` once the whole song is walked.
  FrameRead extend(std::uint64_t budget);
  // Walks on until `frame` is found; false when the bytes so far (or the song) end before it.
  bool reach(std::size_t frame);

  std::size_t frames() const { return offsets_.size(); }
  std::uint64_t offset(std::size_t frame) const { return offsets_[frame]; }
  bool complete() const { return complete_; }
  // Every frame walked so far has the first one's bit rate.
  bool constant_rate() const { return constant_rate_; }
  // The first frame to decode so that `frame` (walked) and the rest come out whole: the frames
  // before it that its bit reservoir may reach into, and one more for its filter banks' overlap.
  std::size_t preroll_start(std::size_t frame) const;

  static constexpr std::size_t kWindow = 16 * 1024;

 private:
  Mp3FrameReader reader_;
  std::vector<std::uint32_t> offsets_;  // a song is far below 4 GB; a larger file is indexed that far
  Mp3FrameHeader format_;
  int first_rate_ = 0;
  bool opened_ = false;
  bool complete_ = false;
  bool constant_rate_ = true;
};

}  // namespace qiwa
