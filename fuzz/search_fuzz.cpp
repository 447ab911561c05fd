// Search answers and lyrics answers as the service (or anything pretending to be it) may send them, ids
// as numbers, strings or null, lyrics with character references: every cell and every lyrics line is
// well-formed UTF-8, whatever the bytes.
#include <cstdlib>
#include <string>

#include "music/json_scan.hpp"
#include "music/lyrics.hpp"
#include "music/search.hpp"
#include "music/service.hpp"
#include "runtime/utf.hpp"
#include "text/unescape.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string answer(reinterpret_cast<const char*>(data), size);
  auto objects = qiwa::json_array_objects(answer);
  for (int index = -1; index <= 2; ++index) {
    auto rows = qiwa::parse_search_hits(answer, qiwa::catalogue_at(index));
    // Objects without a song give no row; no row comes from anywhere else.
    if (rows.size() > objects.size()) std::abort();
    for (const auto& r : rows)
      for (const std::string* cell : {&r.url_id, &r.pic_id, &r.lyric_id, &r.title, &r.singer, &r.album})
        if (!qiwa::is_valid_utf8(*cell)) std::abort();
  }
  std::string lines = qiwa::lyric_lines(qiwa::unescape_text(qiwa::lyric_value(answer)));
  if (!qiwa::is_valid_utf8(lines)) std::abort();
  // Every line ends in CR LF and no bare line feed is left.
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == '\n' && (i == 0 || lines[i - 1] != '\r')) std::abort();
  return 0;
}
