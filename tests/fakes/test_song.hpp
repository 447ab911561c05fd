#pragma once
// A real MP3 song of the test data, for the doubles to serve where a download must be a song.
#include <fstream>
#include <iterator>

#include "runtime/types.hpp"

namespace qiwa::fakes {

// tests/data/<name>: a short tone; tone_cbr.mp3 is 24 KB of 128 kbit/s frames.
inline Text test_song(const char* name = "tone_cbr.mp3") {
  std::ifstream in(std::string(QIWA_SOURCE_DIR) + "/tests/data/" + name, std::ios::binary);
  return Text(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qiwa::fakes
