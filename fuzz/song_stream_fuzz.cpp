// A song's sound over corrupt files, whole and growing: whatever the bytes (broken tags and LAME
// checksums, frames of other formats, garbage), reads and seeks end cleanly, the strict codec is only
// handed frames of the song's format, and a seek lands where it was asked.
#include <cstdlib>

#include "runtime/song_stream.hpp"
#include "tests/fakes/memory_song_source.hpp"
#include "tests/fakes/strict_mp3_codec.hpp"

namespace {

using namespace qiwa;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000 || size < 2) return 0;
  // The first two bytes choose the seeks; the rest is the file.
  const unsigned seeds = data[0] | data[1] << 8;
  const bool growing = seeds & 1;
  auto owned = std::make_unique<fakes::MemorySongSource>(
      Bytes(data + 2, data + size - (growing ? (size - 2) / 3 : 0)),
      growing ? SourceState::growing : SourceState::complete);
  fakes::MemorySongSource* source = owned.get();
  fakes::StrictMp3Codec* codec = nullptr;
  std::unique_ptr<SongStream> song = SongStream::open(std::move(owned), [&](const Mp3FrameHeader& h) {
    auto made = std::make_unique<fakes::StrictMp3Codec>(h, seeds & 2);
    codec = made.get();
    return made;
  });
  if (!song) return 0;
  unsigned char pcm[4096];
  for (int round = 0; round < 6; ++round) {
    const std::int64_t to = static_cast<std::int64_t>((seeds >> (round + 2)) % 64) * 1000;
    if (song->seek(to) && song->sample() != to && !song->duration()) std::abort();
    for (int reads = 0; reads < 400; ++reads) {
      const Decoded d = song->read(pcm, sizeof pcm);
      if (d.bytes > sizeof pcm) std::abort();
      if (d.status != FrameRead::frame) break;
    }
    song->available();
    if (growing && round == 2) {
      const std::size_t have = source->size();
      source->append(data + 2 + have, size - 2 - have);
      source->set_state(SourceState::complete);
    }
  }
  if (codec && codec->failures() != 0) std::abort();
  return 0;
}
