#pragma once
// An MP3 song held in memory, walked frame by frame, and its decoding to PCM through the system's
// MP3 codec (Audio Compression Manager).
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <memory>
#include <optional>

#include "runtime/mp3_frames.hpp"
#include "runtime/types.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {

inline void close_acm_stream(HACMSTREAM stream) noexcept {
  acmStreamClose(stream, 0);
}
using AcmStream = Handle<SimpleTraits<HACMSTREAM, &close_acm_stream>>;

// The song's bytes and a walk over its audio frames: the summary frame is left out, garbage between
// frames is passed over, and frames of another format than the first are skipped.
class Mp3Frames {
 public:
  // Nothing when the data holds no valid audio frame.
  static std::optional<Mp3Frames> from(Bytes data);

  const Mp3FrameHeader& format() const { return format_; }
  // The next whole frame; false at the end of the data.
  bool next(const unsigned char*& frame, std::size_t& length);
  void rewind() { pos_ = first_; }

 private:
  Mp3Frames(Bytes data, std::size_t first, const Mp3FrameHeader& format)
      : data_(std::move(data)), first_(first), pos_(first), format_(format) {}

  Bytes data_;
  std::size_t first_;
  std::size_t pos_;
  Mp3FrameHeader format_;
};

// The song file's bytes, read whole and closed again; nothing when it cannot be read.
std::optional<Bytes> read_song_file(std::string_view path);

// One ACM conversion stream from the song's MP3 format to 16-bit PCM of the same rate and channels.
class Mp3Decoder {
 public:
  // Null when the system has no codec that takes this format.
  static std::unique_ptr<Mp3Decoder> open(const Mp3FrameHeader& format);
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  const WAVEFORMATEX& pcm_format() const { return pcm_; }
  // Fills out with up to size bytes of PCM, decoding frames of `frames` as needed; returns fewer only
  // when the frames are used up (after the codec's own delay is flushed) or the codec fails.
  std::size_t read(Mp3Frames& frames, unsigned char* out, std::size_t size);
  // The next read begins a fresh pass over rewound frames: the codec forgets the previous one.
  void restart();

 private:
  Mp3Decoder() = default;
  bool prepare(const Mp3FrameHeader& format);
  void top_up(Mp3Frames& frames);
  bool convert();

  AcmStream stream_;
  WAVEFORMATEX pcm_{};
  ACMSTREAMHEADER header_{};
  bool prepared_ = false;
  Bytes source_;  // whole frames waiting for the codec
  std::size_t source_used_ = 0;
  Bytes pcm_buffer_;  // decoded bytes not yet handed out
  std::size_t pcm_begin_ = 0;
  std::size_t pcm_end_ = 0;
  bool frames_done_ = false;  // the walk reached the end of the data
  bool flushed_ = false;      // the codec was told the pass ended, or failed
  bool starting_ = true;      // the next conversion is the first of a pass
};

}  // namespace qiwa
