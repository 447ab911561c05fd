#pragma once
// A song's audio frames, read piece by piece from its source through a small window, so memory does
// not grow with the song. Tags and the summary frame are passed over, garbage between frames is
// skipped, and frames of another format than the first are left out.
#include <cstddef>
#include <cstdint>

#include "runtime/mp3_frames.hpp"
#include "runtime/song_source.hpp"
#include "runtime/types.hpp"

namespace qiwa {

enum class FrameRead {
  frame,  // a whole frame is there
  wait,   // the source is growing and holds no whole frame past this point yet
  end,    // the song has no more frames
};

class Mp3FrameReader {
 public:
  // `window`: the bytes held at once, at least two of the largest frames.
  explicit Mp3FrameReader(SongSource& source, std::size_t window = kWindow);

  // Finds the first audio frame and the song's format: `frame` when found, `wait` when the bytes so
  // far cannot tell, `end` when the source holds no song. May be called again after `wait`.
  FrameRead open();
  const Mp3FrameHeader& format() const { return format_; }
  // The summary frame in front of the audio, when there is one.
  const std::optional<Mp3SummaryFrame>& summary() const { return summary_; }
  std::uint64_t first_audio() const { return first_audio_; }
  // The next whole frame of the song's format, valid until the next call.
  FrameRead next(const unsigned char*& frame, std::size_t& length);
  // Where in the file the frame that next() gave last begins.
  std::uint64_t frame_offset() const { return frame_offset_; }
  // Goes on from an audio frame found before (at frame_offset()), or back to the first for another pass.
  void seek_to(std::uint64_t offset);
  void rewind() { seek_to(first_audio_); }
  // The source failed: the frames ended because the song's bytes did, not because the song did.
  bool source_failed() const { return last_state_ == SourceState::failed; }

  static constexpr std::size_t kWindow = 64 * 1024;

 private:
  bool have(std::size_t need);
  FrameRead short_of_bytes() const;
  std::optional<std::size_t> skip_tags();
  FrameRead sync(const Mp3FrameHeader* format, Mp3FrameHeader& found);
  const unsigned char* at() const { return window_.data() + pos_; }
  std::size_t available() const { return end_ - pos_; }
  void jump(std::uint64_t offset);

  SongSource& source_;
  Bytes window_;             // the file's bytes from offset base_, [pos_, end_) not yet used
  std::uint64_t base_ = 0;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  SourceState last_state_ = SourceState::growing;  // as seen before the last read that came up short
  bool lost_ = false;  // looking for the frames again after garbage
  std::uint64_t first_audio_ = 0;
  std::uint64_t frame_offset_ = 0;
  Mp3FrameHeader format_;
  std::optional<Mp3SummaryFrame> summary_;
};

}  // namespace qiwa
