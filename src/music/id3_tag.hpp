#pragma once
// The ID3v2.3 tag the program puts at the start of the songs it keeps, and a reader that gets a tag back
// from a file's first bytes, whatever those bytes are.
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/types.hpp"

namespace qiwa {

// A line of the lyrics and when it is sung, milliseconds into the song.
struct TimedText {
  std::uint32_t ms = 0;
  Text text;
  bool operator==(const TimedText&) const = default;
};

// What a tag says of a song.
struct SongTag {
  Text title, singer, album;                      // TIT2, TPE1, TALB
  std::vector<std::pair<Text, Text>> user_texts;  // TXXX frames: description, value
  Bytes cover{};                                  // APIC, the front cover as served
  Text lyrics{};                                  // USLT, the lines of the lyrics box
  std::vector<TimedText> timed_lyrics{};          // SYLT, in milliseconds
  // TXXX REPLAYGAIN_TRACK_GAIN ("-6.52 dB") and REPLAYGAIN_TRACK_PEAK ("0.988553"), as other players
  // read them; the reader gives these here, not among the user texts.
  std::optional<double> gain_db{}, peak{};

  // The value of the first user text of that description; nullptr when there is none.
  const Text* user_text(std::string_view description) const;
  bool operator==(const SongTag&) const = default;
};

// Longer texts are cut between characters: a tag stays small whatever the service sends. A text also ends
// at a NUL, as it does in a frame. Lyrics, whole and each timed line, have their own, larger bound.
inline constexpr std::size_t kMaxTagTextUnits = 1024;      // UTF-16 code units
inline constexpr std::size_t kMaxLyricsUnits = 64 * 1024;  // UTF-16 code units
// A larger cover is left out of the tag rather than make the tag of every copy of the song that large.
inline constexpr std::size_t kMaxCoverBytes = 16 << 20;
// USLT and SYLT say "XXX": the program does not know which language a song is sung in (the catalogues
// mix Chinese, English, Japanese, Korean), and readers take any language when one lyrics frame is there.
inline constexpr char kLyricsLanguage[] = "XXX";

// The MIME type of a picture from its first bytes (JPEG, PNG, GIF, BMP, WebP); empty for anything else.
std::string_view picture_mime(const Bytes& picture);

// An ID3v2.3 tag: texts, title first, then the program's user texts and the replay gain, the lyrics, and
// the cover last, so that the texts sit in a file's first bytes whatever the cover's size. Texts are in
// UTF-16 with a byte order mark, the replay gain in Latin-1; an empty title, singer, album or lyrics is
// left out, user texts are written even when empty; a cover that is no picture of a kind players show
// (picture_mime) or is larger than kMaxCoverBytes is left out.
Bytes write_id3_tag(const SongTag& tag);

// The ID3v2.3 or v2.4 tag the data starts with; nothing when it starts with none. Frames it does not read
// (other kinds, compressed, encrypted) are passed over, a frame cut off by the data's end ends the
// reading, and a tag unsynchronised or with an extended header gives nothing of its frames; every text
// comes back as well-formed UTF-8. The cover is the front cover, or else the first picture.
std::optional<SongTag> read_id3_tag(const unsigned char* data, std::size_t size);
inline std::optional<SongTag> read_id3_tag(const Bytes& data) {
  return read_id3_tag(data.data(), data.size());
}

// The tag at the start of the file, read through `files` (at most `max_bytes` of it: a cover beyond may
// be cut off); nothing when the file cannot be read or starts with no tag. Its texts and identity are in
// the first kMaxTagRead bytes; kMaxWholeTagRead holds the largest cover the program writes.
inline constexpr std::size_t kMaxTagRead = 1 << 20;
inline constexpr std::size_t kMaxWholeTagRead = kMaxCoverBytes + kMaxTagRead;
std::optional<SongTag> read_file_tag(Files& files, std::string_view path, std::size_t max_bytes = kMaxTagRead);

}  // namespace qiwa
