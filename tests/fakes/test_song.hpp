#pragma once
// A real MP3 song of the test data, for the doubles to serve where a download must be a song.
#include <fstream>
#include <iterator>

#include "music/id3_tag.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

// tests/data/<name>: a short tone; tone_cbr.mp3 is 24 KB of 128 kbit/s frames.
inline Text test_song(const char* name = "tone_cbr.mp3") {
  std::ifstream in(std::string(QIWA_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
  return Text(std::istreambuf_iterator<char>(in), {});
}

// The program's tag of a song as text, as the files it saves begin.
inline Text tag_text(const SongTag& tag) {
  const Bytes bytes = write_id3_tag(tag);
  return Text(bytes.begin(), bytes.end());
}

}  // namespace qiwa::fakes
