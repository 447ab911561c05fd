// The streaming reader and decoding loop over corrupt files, read whole and while they grow in uneven
// pieces: the strict codec is only ever handed frames of the song's format, and both ways give the
// same sound.
#include <cstdlib>

#include "runtime/mp3_decoder.hpp"
#include "tests/fakes/memory_song_source.hpp"
#include "tests/fakes/strict_mp3_codec.hpp"

namespace {

using namespace qiwa;

// The decoded bytes, or nothing when the reader finds no song; aborts on a codec complaint.
std::optional<Bytes> decode(const uint8_t* data, size_t size, bool growing) {
  fakes::MemorySongSource source(growing ? Bytes{} : Bytes(data, data + size),
                                 growing ? SourceState::growing : SourceState::complete);
  std::size_t fed = 0;
  auto feed = [&] {
    const std::size_t step = std::min<std::size_t>(fed % 251 + 1, size - fed);
    source.append(data + fed, step);
    fed += step;
    if (fed == size) source.set_state(SourceState::complete);
  };
  Mp3FrameReader frames(source);
  FrameRead opened;
  while ((opened = frames.open()) == FrameRead::wait) feed();
  if (opened == FrameRead::end) return std::nullopt;
  fakes::StrictMp3Codec codec(frames.format());
  Mp3Decoder decoder(frames, codec);
  Bytes pcm;
  unsigned char piece[5000];
  for (;;) {
    Decoded d = decoder.read(piece, sizeof piece);
    pcm.insert(pcm.end(), piece, piece + d.bytes);
    if (d.status == FrameRead::end) break;
    if (d.status == FrameRead::wait) feed();
  }
  if (codec.failures() != 0) std::abort();
  return pcm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000) return 0;
  if (decode(data, size, false) != decode(data, size, true)) std::abort();
  return 0;
}
