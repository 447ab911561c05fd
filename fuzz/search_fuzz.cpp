// Search answers and lyrics answers as the service (or anything pretending to be it) may send them.
#include <cstdlib>
#include <string>

#include "music/json_scan.hpp"
#include "music/lyrics.hpp"
#include "music/search.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer(reinterpret_cast<const char*>(data), size);
  auto objects = qiwa::json_array_objects(answer);
  for (int index = -1; index <= 2; ++index) {
    auto rows = qiwa::parse_search_hits(answer, index);
    // Objects without a song give no row; no row comes from anywhere else.
    if (rows.size() > objects.size()) std::abort();
  }
  std::string lines = qiwa::lyric_lines(answer);
  // Every line ends in CR LF and no bare line feed is left.
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == '\n' && (i == 0 || lines[i - 1] != '\r')) std::abort();
  (void)qiwa::lyric_value(answer);
  return 0;
}
