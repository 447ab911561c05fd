#pragma once
// One song's sound from its file, as the player hands it to the device: decoded a little at a time,
// trimmed to the song's own samples (the encoder's delay and padding and the decoder's delay, as the
// LAME tag records them), movable to any sample that has arrived, at the song's gain.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "runtime/mp3_decoder.hpp"
#include "runtime/mp3_index.hpp"
#include "runtime/mp3_timeline.hpp"

namespace qiwa {

using CodecFactory = std::function<std::unique_ptr<Mp3Codec>(const Mp3FrameHeader&)>;

class SongStream {
 public:
  // Null when the source holds no song (or not a whole frame of one yet) or no codec takes it.
  // `expected_bytes`: the whole file's size while it still grows, when known (0: not known).
  static std::unique_ptr<SongStream> open(std::unique_ptr<SongSource> source, const CodecFactory& codecs,
                                          std::uint64_t expected_bytes = 0);

  PcmFormat pcm() const { return codec_->pcm(); }
  // Up to size bytes of the song's sound from where it stands: fewer with `wait` when the bytes so far
  // are used up, with `end` when the song is over.
  Decoded read(unsigned char* out, std::size_t size);
  // Moves to the song's sample; false, and nothing moves, when it has not arrived yet. A sample past
  // the end of a whole song ends it.
  bool seek(std::int64_t sample);
  // The song's sample the next read begins with.
  std::int64_t sample() const { return position_; }
  // The song's samples, when the file says or it has been walked whole; for a constant bit rate, as
  // its bytes (or the bytes expected) hold.
  std::optional<std::int64_t> duration() const;
  // How far the bytes that have arrived reach, in samples; walks the frame index on a little.
  std::int64_t available();
  // The song's bytes ended because its download broke.
  bool source_failed() const { return frames_.source_failed(); }
  void set_gain(double gain_db, double peak) { scale_ = gain_scale(gain_db, peak); }

  // What available() walks at most at once: the index keeps up with a fast download within seconds.
  static constexpr std::uint64_t kIndexStep = 512 * 1024;

 private:
  explicit SongStream(std::unique_ptr<SongSource> source);
  void check_tag();
  FrameRead at_tagged_end();

  std::unique_ptr<SongSource> source_;
  Mp3FrameReader frames_;
  Mp3FrameIndex index_;
  std::unique_ptr<Mp3Codec> codec_;
  std::optional<Mp3Decoder> decoder_;
  Mp3Trim trim_;
  int frame_samples_ = 0;
  std::uint64_t expected_bytes_ = 0;
  std::int64_t position_ = 0;  // the song's sample the next read gives
  std::int64_t discard_ = 0;   // decoded samples still to drop before it
  double scale_ = 1.0;
  bool ended_ = false;  // moved past the end
};

}  // namespace qiwa
