#pragma once
// MPEG audio Layer III frame headers, ID3v2 tags and the Xing/Info/VBRI summary frames.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "runtime/types.hpp"

namespace qiwa {

enum class MpegVersion { mpeg1, mpeg2, mpeg25 };

struct Mp3FrameHeader {
  MpegVersion version = MpegVersion::mpeg1;
  int bit_rate = 0;       // bits per second
  int sample_rate = 0;    // Hz
  int channels = 0;       // 1 or 2
  bool padding = false;
  bool crc = false;
  int samples = 0;             // per channel in one frame
  std::size_t length = 0;      // bytes, header included
  int side_info_size = 0;      // bytes after the header (and CRC)
};

// Same stream parameters: a decoder opened for one can take the other.
bool same_format(const Mp3FrameHeader& a, const Mp3FrameHeader& b);

// The header at data[0..3], if it is a valid Layer III header with a known bit rate.
std::optional<Mp3FrameHeader> parse_frame_header(const unsigned char* data, std::size_t size);

// The size of the one ID3v2 tag at data (footer included, from its first 10 bytes); 0 when there is none.
std::size_t id3v2_tag_size(const unsigned char* data, std::size_t size);

// Bytes taken by the ID3v2 tags at the start (footers included, clipped to size); 0 when there is none.
std::size_t id3v2_size(const unsigned char* data, std::size_t size);

// The offset of the first whole frame at or after `from` that is followed by a matching header (or ends
// the data exactly); npos when there is none.
std::size_t find_frame(const unsigned char* data, std::size_t size, std::size_t from);

// The frame at `pos` when it is valid, whole and of the previous frame's format, else the next synced
// frame as find_frame finds it.
std::size_t next_frame(const unsigned char* data, std::size_t size, std::size_t pos,
                       const Mp3FrameHeader* previous);

// What the LAME tag of a Xing or Info frame records of the encoding: the samples the encoder put before
// the song's first (its delay) and after its last (padding, to fill the last frame), so that a player
// can give exactly the song's own samples.
struct Mp3Gapless {
  int delay = 0;
  int padding = 0;
};

// The summary a Xing, Info or VBRI frame carries.
struct Mp3SummaryFrame {
  bool vbr = false;                    // "Xing" or "VBRI"; "Info" marks constant bit rate
  bool vbri = false;                   // a VBRI frame, whose counts encoders write less uniformly
  std::optional<std::uint32_t> frames;  // audio frames, the summary frame excluded
  std::optional<std::uint32_t> bytes;   // the stream's bytes, from the summary frame on
  std::optional<Mp3Gapless> gapless;    // from a LAME tag whose checksum holds
};
std::optional<Mp3SummaryFrame> parse_summary_frame(const unsigned char* frame, std::size_t size,
                                                   const Mp3FrameHeader& header);

struct Mp3Stream {
  std::size_t first_audio = 0;  // offset of the first audio frame (after any summary frame)
  Mp3FrameHeader header;        // of that frame
  std::size_t frames = 0;       // audio frames found by walking the data
  bool vbr = false;             // a Xing/VBRI frame, or the bit rate changes between frames
  double seconds = 0;
};

// Walks the whole data; nothing when it holds no valid frame.
std::optional<Mp3Stream> probe_mp3(const unsigned char* data, std::size_t size);
inline std::optional<Mp3Stream> probe_mp3(const Bytes& data) { return probe_mp3(data.data(), data.size()); }

// Tells from a stream's first bytes, fed piece by piece as they arrive, whether it is MP3 audio: after any
// ID3v2 tags (passed over, however large), whole frames of one format. Keeps the first kSniffBytes of the
// audio only.
class Mp3Sniffer {
 public:
  static constexpr std::size_t kSniffBytes = 16 * 1024;

  void feed(const unsigned char* data, std::size_t size);
  // On what has come so far; true once a frame and the header after it are there.
  bool is_song() const { return probe_mp3(audio_).has_value(); }
  // True once it is a song and about `ms` of its audio has come, at its first frame's bit rate.
  bool holds_ms(std::uint64_t ms) const;

 private:
  Bytes tag_header_;               // the start of what may be another tag
  std::uint64_t tag_left_ = 0;     // bytes of the current tag still to pass over
  bool in_audio_ = false;
  Bytes audio_;
  std::uint64_t audio_bytes_ = 0;  // all that came after the tags
};

// Tells whether a stream came whole, fed piece by piece as it arrives and holding only a frame or two of
// it: after any ID3v2 tags it follows the frames from one boundary to the next. At the end the stream is
// whole when its last frame is, and when the Xing/Info or VBRI summary at its start, if any, counts no
// more frames and bytes than came. A stream that stops inside a frame, or short of its summary, was cut.
class Mp3WholeCheck {
 public:
  void feed(const unsigned char* data, std::size_t size);
  // On what has come so far, taken as all there is.
  bool whole() const;
  std::uint64_t frames() const { return frames_; }  // audio frames followed so far
  const std::optional<Mp3SummaryFrame>& summary() const { return summary_; }

 private:
  enum class Phase { tags, first_frame, frames, lost };
  void feed_tags(const unsigned char*& data, std::size_t& size);
  void feed_frames(const unsigned char* data, std::size_t size);
  void look_for_frame();
  void take_frame(const Mp3FrameHeader& header);

  Phase phase_ = Phase::tags;
  Bytes pending_;                 // a tag or frame header being gathered, or bytes searched for a frame
  std::uint64_t tag_left_ = 0;    // bytes of the current tag still to pass over
  std::uint64_t frame_left_ = 0;  // bytes of the current frame still to come
  Mp3FrameHeader format_;
  std::optional<Mp3SummaryFrame> summary_;
  bool first_taken_ = false;
  std::uint64_t frames_ = 0;
  std::uint64_t received_ = 0;
};

}  // namespace qiwa
