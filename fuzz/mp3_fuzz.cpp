// MP3 frame walking over corrupt files: every frame it reports lies inside the data; a download fed to
// the sniffer or to the whole-song check in uneven pieces gets the same verdict as fed whole, and a
// stream cut by a byte inside its last frame is never whole.
#include <algorithm>
#include <cstdlib>

#include "runtime/mp3_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::size_t tag = qiwa::id3v2_size(data, size);
  if (tag > size) std::abort();
  std::size_t pos = qiwa::find_frame(data, size, tag);
  const qiwa::Mp3FrameHeader* previous = nullptr;
  std::optional<qiwa::Mp3FrameHeader> header;
  for (int guard = 0; pos < size && guard < 100000; ++guard) {
    header = qiwa::parse_frame_header(data + pos, size - pos);
    if (!header || header->length == 0 || pos + header->length > size) std::abort();
    (void)qiwa::parse_summary_frame(data + pos, header->length, *header);
    previous = &*header;
    pos = qiwa::next_frame(data, size, pos + header->length, previous);
  }
  (void)qiwa::probe_mp3(data, size);
  qiwa::Mp3Sniffer whole, pieces;
  qiwa::Mp3WholeCheck checked_whole, checked_pieces;
  whole.feed(data, size);
  checked_whole.feed(data, size);
  for (std::size_t at = 0, step = 1; at < size; at += step, step = step % 97 + 7) {
    pieces.feed(data + at, std::min(step, size - at));
    checked_pieces.feed(data + at, std::min(step, size - at));
  }
  if (whole.is_song() != pieces.is_song()) std::abort();
  if (checked_whole.whole() != checked_pieces.whole() || checked_whole.frames() != checked_pieces.frames())
    std::abort();
  return 0;
}
