// The tag reader over any bytes, pictures, lyrics and replay gain included: it stays within them, its
// texts are well formed and a cover is never larger than the data; a tag the program writes from any
// texts and pictures reads back as written, within the bounds the writer keeps.
#include <cmath>
#include <cstdlib>

#include "fuzz/input.hpp"
#include "music/id3_tag.hpp"
#include "runtime/utf.hpp"

namespace {

using namespace qiwa;

void check(const SongTag& tag, std::size_t size) {
  bool ok = is_valid_utf8(tag.title) && is_valid_utf8(tag.singer) && is_valid_utf8(tag.album) &&
            is_valid_utf8(tag.lyrics) && tag.cover.size() <= size;
  for (const auto& [description, value] : tag.user_texts)
    ok = ok && is_valid_utf8(description) && is_valid_utf8(value);
  for (const TimedText& line : tag.timed_lyrics) ok = ok && is_valid_utf8(line.text);
  if ((tag.gain_db && !std::isfinite(*tag.gain_db)) || (tag.peak && !(*tag.peak >= 0))) ok = false;
  if (!ok) std::abort();
}

bool fits(const Text& text, std::size_t units) {
  return text.find('\0') == Text::npos && utf8_to_utf16(text).size() <= units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (std::optional<SongTag> tag = read_id3_tag(data, size)) check(*tag, size);

  fuzz::Input in(data, size);
  SongTag tag;
  tag.title = valid_utf8(in.piece());
  tag.lyrics = valid_utf8(in.piece());
  tag.timed_lyrics.push_back({static_cast<std::uint32_t>(in.number()) * 977u, valid_utf8(in.piece())});
  tag.gain_db = in.number() / 7.0;
  const std::string cover = in.rest();
  tag.cover.assign(cover.begin(), cover.end());
  const std::optional<SongTag> read = read_id3_tag(write_id3_tag(tag));
  if (!read) std::abort();
  if (fits(tag.title, kMaxTagTextUnits) && read->title != tag.title) std::abort();
  if (fits(tag.lyrics, kMaxLyricsUnits) && read->lyrics != tag.lyrics) std::abort();
  if (fits(tag.timed_lyrics[0].text, kMaxTagTextUnits) && read->timed_lyrics != tag.timed_lyrics)
    std::abort();
  if (read->cover != (picture_mime(tag.cover).empty() ? Bytes() : tag.cover)) std::abort();
  if (!read->gain_db || std::abs(*read->gain_db - *tag.gain_db) > 0.005) std::abort();
  return 0;
}
