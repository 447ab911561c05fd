#include "music/id3_tag.hpp"

#include <algorithm>
#include <cmath>

#include "runtime/loudness.hpp"
#include "runtime/mp3_frames.hpp"
#include "runtime/utf.hpp"

namespace qiwa {
namespace {

constexpr unsigned char kLatin1 = 0;
constexpr unsigned char kUtf16WithBom = 1;
constexpr unsigned char kFrontCover = 3;     // APIC picture type
constexpr unsigned char kMilliseconds = 2;   // SYLT time stamp format
constexpr unsigned char kLyricsContent = 1;  // SYLT content type
constexpr std::string_view kGainKey = kTrackGainTag;
constexpr std::string_view kPeakKey = kTrackPeakTag;

void put_be32(Bytes& out, std::uint32_t v) {
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<unsigned char>(v >> shift));
}

void put_syncsafe(Bytes& out, std::uint32_t v) {
  for (int shift : {21, 14, 7, 0}) out.push_back(static_cast<unsigned char>((v >> shift) & 0x7F));
}

// The text as a byte order mark and UTF-16LE, cut between characters to `max_units`; a NUL ends it, as
// it ends a text in a frame.
void put_utf16(Bytes& out, std::string_view text, std::size_t max_units = kMaxTagTextUnits) {
  std::u16string units = utf8_to_utf16(text.substr(0, text.find('\0')));
  if (units.size() > max_units) {
    std::size_t keep = max_units;
    if (units[keep - 1] >= 0xD800 && units[keep - 1] <= 0xDBFF) --keep;  // not half a pair
    units.resize(keep);
  }
  out.push_back(0xFF);
  out.push_back(0xFE);
  for (char16_t u : units) {
    out.push_back(static_cast<unsigned char>(u & 0xFF));
    out.push_back(static_cast<unsigned char>(u >> 8));
  }
}

void put_frame(Bytes& out, const char* id, const Bytes& body) {
  out.insert(out.end(), id, id + 4);
  put_be32(out, static_cast<std::uint32_t>(body.size()));
  out.push_back(0);
  out.push_back(0);
  out.insert(out.end(), body.begin(), body.end());
}

void put_text_frame(Bytes& out, const char* id, std::string_view text) {
  if (text.empty()) return;
  Bytes body{kUtf16WithBom};
  put_utf16(body, text);
  put_frame(out, id, body);
}

// A UTF-16 text and its terminator, as the strings before the last in a frame are.
void put_utf16_ended(Bytes& out, std::string_view text, std::size_t max_units = kMaxTagTextUnits) {
  put_utf16(out, text, max_units);
  out.push_back(0);
  out.push_back(0);
}

void put_user_text(Bytes& out, std::string_view description, std::string_view value) {
  Bytes body{kUtf16WithBom};
  put_utf16_ended(body, description);
  put_utf16(body, value);
  put_frame(out, "TXXX", body);
}

// ASCII, as Latin-1: the form every reader of replay gain takes.
void put_ascii_user_text(Bytes& out, std::string_view description, std::string_view value) {
  Bytes body{kLatin1};
  body.insert(body.end(), description.begin(), description.end());
  body.push_back(0);
  body.insert(body.end(), value.begin(), value.end());
  put_frame(out, "TXXX", body);
}

void put_replay_gain(Bytes& out, const SongTag& tag) {
  if (tag.gain_db && std::isfinite(*tag.gain_db))
    put_ascii_user_text(out, kGainKey, gain_tag_text(*tag.gain_db));
  if (tag.peak && std::isfinite(*tag.peak) && *tag.peak >= 0)
    put_ascii_user_text(out, kPeakKey, peak_tag_text(*tag.peak));
}

// The start of a lyrics frame: encoding, language, and then `rest` before an empty content descriptor.
Bytes lyrics_head(std::initializer_list<unsigned char> rest) {
  Bytes body{kUtf16WithBom};
  body.insert(body.end(), kLyricsLanguage, kLyricsLanguage + 3);
  body.insert(body.end(), rest);
  put_utf16_ended(body, "");
  return body;
}

void put_lyrics(Bytes& out, const SongTag& tag) {
  if (!tag.lyrics.empty()) {
    Bytes body = lyrics_head({});
    put_utf16(body, tag.lyrics, kMaxLyricsUnits);
    put_frame(out, "USLT", body);
  }
  if (tag.timed_lyrics.empty()) return;
  Bytes body = lyrics_head({kMilliseconds, kLyricsContent});
  std::size_t units = 0;
  for (const TimedText& line : tag.timed_lyrics) {
    units += line.text.size();
    if (units > kMaxLyricsUnits) break;  // a bound on the frame, like the one on the plain lyrics
    put_utf16_ended(body, line.text, kMaxTagTextUnits);
    put_be32(body, line.ms);
  }
  put_frame(out, "SYLT", body);
}

void put_cover(Bytes& out, const Bytes& cover) {
  const std::string_view mime = picture_mime(cover);
  if (mime.empty() || cover.size() > kMaxCoverBytes) return;
  Bytes head{kLatin1};
  head.insert(head.end(), mime.begin(), mime.end());
  head.insert(head.end(), {0, kFrontCover, 0});  // the MIME type's end, the type, an empty description
  out.reserve(out.size() + 10 + head.size() + cover.size());
  const std::size_t at = out.size();
  put_frame(out, "APIC", head);
  out.insert(out.end(), cover.begin(), cover.end());
  const auto length = static_cast<std::uint32_t>(head.size() + cover.size());
  for (int i = 0; i < 4; ++i) out[at + 4 + i] = static_cast<unsigned char>(length >> (24 - 8 * i));
}

std::uint32_t be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// One NUL-ended string of a text frame from `p` on (or up to `end`), in the frame's encoding; `p` moves
// past it and its terminator.
Text read_string(unsigned char encoding, const unsigned char*& p, const unsigned char* end) {
  Text out;
  if (encoding == 0 || encoding == 3) {  // Latin-1, UTF-8
    const unsigned char* stop = std::find(p, end, 0);
    if (encoding == 3) {
      out =
          valid_utf8(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(stop - p)));
    } else {
      for (const unsigned char* c = p; c < stop; ++c) append_utf8(out, *c);
    }
    p = stop < end ? stop + 1 : end;
    return out;
  }
  bool big_endian = encoding == 2;
  if (encoding == kUtf16WithBom && end - p >= 2 &&
      ((p[0] == 0xFE && p[1] == 0xFF) || (p[0] == 0xFF && p[1] == 0xFE))) {
    big_endian = p[0] == 0xFE;
    p += 2;
  }
  std::u16string units;
  for (; end - p >= 2; p += 2) {
    const char16_t u =
        big_endian ? static_cast<char16_t>(p[0] << 8 | p[1]) : static_cast<char16_t>(p[1] << 8 | p[0]);
    if (u == 0) {
      p += 2;
      return utf16_to_utf8(units);
    }
    units.push_back(u);
  }
  p = end;
  return utf16_to_utf8(units);
}

bool same_ascii_letters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
  });
}

void read_user_text(SongTag& tag, Text description, Text value) {
  if (same_ascii_letters(description, kGainKey)) {
    tag.gain_db = read_gain_tag(value);
  } else if (same_ascii_letters(description, kPeakKey)) {
    tag.peak = read_peak_tag(value);
  } else {
    tag.user_texts.emplace_back(std::move(description), std::move(value));
  }
}

void read_picture(unsigned char encoding, const unsigned char* p, const unsigned char* end, SongTag& tag) {
  read_string(kLatin1, p, end);  // the MIME type: the bytes say better what they are
  if (p == end) return;
  const bool front = *p++ == kFrontCover;
  read_string(encoding, p, end);
  if (tag.cover.empty() || front) tag.cover.assign(p, end);
}

void read_timed_lyrics(unsigned char encoding, const unsigned char* p, const unsigned char* end,
                       SongTag& tag) {
  if (end - p < 5 || p[3] != kMilliseconds) return;  // times in MPEG frames: not read
  p += 5;
  read_string(encoding, p, end);
  std::vector<TimedText> lines;
  while (p < end) {
    Text text = read_string(encoding, p, end);
    if (end - p < 4) break;
    lines.push_back({be32(p), std::move(text)});
    p += 4;
  }
  if (tag.timed_lyrics.empty()) tag.timed_lyrics = std::move(lines);
}

void read_frame(std::string_view id, const unsigned char* p, const unsigned char* end, SongTag& tag) {
  if (p == end || *p > 3) return;  // no encoding byte, or one no version knows
  const unsigned char encoding = *p++;
  if (id == "TXXX") {
    Text description = read_string(encoding, p, end);
    read_user_text(tag, std::move(description), read_string(encoding, p, end));
  } else if (id == "TIT2") {
    tag.title = read_string(encoding, p, end);
  } else if (id == "TPE1") {
    tag.singer = read_string(encoding, p, end);
  } else if (id == "TALB") {
    tag.album = read_string(encoding, p, end);
  } else if (id == "APIC") {
    read_picture(encoding, p, end, tag);
  } else if (id == "USLT" && end - p >= 3 && tag.lyrics.empty()) {
    p += 3;  // the language
    read_string(encoding, p, end);
    tag.lyrics = read_string(encoding, p, end);
  } else if (id == "SYLT") {
    read_timed_lyrics(encoding, p, end, tag);
  }
}

std::optional<std::uint32_t> syncsafe(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] & 0x80) return std::nullopt;
    v = v << 7 | p[i];
  }
  return v;
}

bool frame_id(const unsigned char* p) {
  for (int i = 0; i < 4; ++i)
    if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9'))) return false;
  return true;
}

// Reads until `want` bytes are in `out` or the file ends.
void read_up_to(InputFile& file, Bytes& out, std::size_t want) {
  while (out.size() < want) {
    const std::size_t at = out.size();
    out.resize(want);
    const std::size_t got = file.read(at, out.data() + at, want - at);
    out.resize(at + got);
    if (got == 0) break;
  }
}

}  // namespace

const Text* SongTag::user_text(std::string_view description) const {
  for (const auto& [key, value] : user_texts)
    if (key == description) return &value;
  return nullptr;
}

std::string_view picture_mime(const Bytes& picture) {
  const auto starts = [&](std::string_view magic, std::size_t at = 0) {
    return picture.size() >= at + magic.size() &&
           std::equal(magic.begin(), magic.end(), picture.begin() + at,
                      [](char m, unsigned char b) { return static_cast<unsigned char>(m) == b; });
  };
  if (starts("\xFF\xD8\xFF")) return "image/jpeg";
  if (starts("\x89PNG\r\n\x1A\n")) return "image/png";
  if (starts("GIF87a") || starts("GIF89a")) return "image/gif";
  if (starts("BM") && picture.size() >= 26) return "image/bmp";
  if (starts("RIFF") && starts("WEBP", 8)) return "image/webp";
  return {};
}

Bytes write_id3_tag(const SongTag& tag) {
  Bytes out = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};  // the size is filled in at the end
  put_text_frame(out, "TIT2", tag.title);
  put_text_frame(out, "TPE1", tag.singer);
  put_text_frame(out, "TALB", tag.album);
  for (const auto& [description, value] : tag.user_texts) put_user_text(out, description, value);
  put_replay_gain(out, tag);
  put_lyrics(out, tag);
  put_cover(out, tag.cover);
  Bytes size;
  put_syncsafe(size, static_cast<std::uint32_t>(out.size() - 10));
  std::copy(size.begin(), size.end(), out.begin() + 6);
  return out;
}

std::optional<SongTag> read_id3_tag(const unsigned char* data, std::size_t size) {
  if (!data || size < 10 || data[0] != 'I' || data[1] != 'D' || data[2] != '3') return std::nullopt;
  if ((data[3] != 3 && data[3] != 4) || data[4] == 0xFF) return std::nullopt;
  const std::optional<std::uint32_t> body = syncsafe(data + 6);
  if (!body) return std::nullopt;
  const bool v4 = data[3] == 4;
  const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(10ull + *body, size));
  SongTag tag;
  if (data[5] & 0xC0) return tag;  // unsynchronised, or an extended header: never the program's, not read
  for (std::size_t at = 10; end - at >= 10 && frame_id(data + at);) {
    const std::optional<std::uint32_t> length =
        v4 ? syncsafe(data + at + 4) : std::optional<std::uint32_t>(be32(data + at + 4));
    if (!length || *length > end - at - 10) break;
    // Grouped, compressed, encrypted (and in 2.4 unsynchronised, or with a data length): not read.
    const unsigned char unread = v4 ? 0x4F : 0xE0;
    if (!(data[at + 9] & unread))
      read_frame(std::string_view(reinterpret_cast<const char*>(data + at), 4), data + at + 10,
                 data + at + 10 + *length, tag);
    at += 10 + *length;
  }
  return tag;
}

std::optional<SongTag> read_file_tag(Files& files, std::string_view path, std::size_t max_bytes) {
  std::unique_ptr<InputFile> file = files.open_read(path);
  if (!file) return std::nullopt;
  Bytes head;
  read_up_to(*file, head, 10);
  const std::size_t size = id3v2_tag_size(head.data(), head.size());
  if (size == 0) return std::nullopt;
  read_up_to(*file, head, std::min(size, max_bytes));
  return read_id3_tag(head);
}

}  // namespace qiwa
