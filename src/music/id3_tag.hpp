#pragma once
// The ID3v2.3 tag the program puts at the start of the songs it saves, and a reader that gets a tag's texts
// back from a file's first bytes, whatever those bytes are.
#include <optional>
#include <utility>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/types.hpp"

namespace qiwa {

// What a tag says of a song; the cover (APIC) and the lyrics (USLT) are to join it.
struct SongTag {
  Text title, singer, album;                      // TIT2, TPE1, TALB
  std::vector<std::pair<Text, Text>> user_texts;  // TXXX frames: description, value

  // The value of the first user text of that description; nullptr when there is none.
  const Text* user_text(std::string_view description) const;
  bool operator==(const SongTag&) const = default;
};

// Longer texts are cut between characters: a tag stays small whatever the service sends. A text also ends
// at a NUL, as it does in a frame.
inline constexpr std::size_t kMaxTagTextUnits = 1024;  // UTF-16 code units

// An ID3v2.3 tag of the texts, each in UTF-16 with a byte order mark; an empty title, singer or album is
// left out, user texts are written even when empty.
Bytes write_id3_tag(const SongTag& tag);

// The texts of the ID3v2.3 or v2.4 tag the data starts with; nothing when it starts with none. Frames it
// does not read (other kinds, compressed, encrypted) are passed over, a frame cut off by the data's end
// ends the reading, and a tag unsynchronised or with an extended header gives no texts; every text comes
// back as well-formed UTF-8.
std::optional<SongTag> read_id3_tag(const unsigned char* data, std::size_t size);
inline std::optional<SongTag> read_id3_tag(const Bytes& data) {
  return read_id3_tag(data.data(), data.size());
}

// The tag at the start of the file, read through `files` (at most kMaxTagRead bytes of it); nothing when the
// file cannot be read or starts with no tag.
std::optional<SongTag> read_file_tag(Files& files, std::string_view path);
inline constexpr std::size_t kMaxTagRead = 1 << 20;

}  // namespace qiwa
