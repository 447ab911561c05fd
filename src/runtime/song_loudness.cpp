#include "runtime/song_loudness.hpp"

#include "runtime/mp3_decoder.hpp"
#include "runtime/mp3_reader.hpp"
#include "runtime/song_source.hpp"

namespace qiwa {
namespace {

// PCM handed to the meter at once: small enough to look at the stop token often.
constexpr std::size_t kPiece = 32 * 1024;

}  // namespace

std::optional<Loudness> measure_song_file(Files& files, std::string_view path, const Mp3Codecs& codecs,
                                          const std::stop_token& stop) {
  if (!codecs || stop.stop_requested()) return std::nullopt;
  const std::unique_ptr<SongSource> source = open_song_source(files, path);
  if (!source) return std::nullopt;
  Mp3FrameReader frames(*source);
  if (frames.open() != FrameRead::frame) return std::nullopt;
  const std::unique_ptr<Mp3Codec> codec = codecs(frames.format());
  if (!codec) return std::nullopt;
  const PcmFormat pcm = codec->pcm();
  if (pcm.block_align != 2 * pcm.channels) return std::nullopt;  // 16-bit samples only
  std::optional<LoudnessMeter> meter = LoudnessMeter::make(pcm.sample_rate, pcm.channels);
  if (!meter) return std::nullopt;
  Mp3Decoder decoder(frames, *codec);
  Bytes piece(kPiece);
  for (;;) {
    if (stop.stop_requested()) return std::nullopt;
    const Decoded got = decoder.read(piece.data(), piece.size());
    meter->add(piece.data(), got.bytes);
    if (got.status != FrameRead::frame) break;  // a whole file never waits: this is its end
  }
  return meter->result();
}

}  // namespace qiwa
