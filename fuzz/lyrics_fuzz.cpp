// The timing of lyrics over arbitrary text: never a crash, the cues in time order, each naming a line
// the box shows, and the current line one of them.
#include <algorithm>
#include <cstdlib>

#include "music/lyrics.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const qiwa::Lyrics l = qiwa::read_lyrics(text);
  check(l.lines == qiwa::lyric_lines(text));
  const int lines = static_cast<int>(std::count(l.lines.begin(), l.lines.end(), '\n'));
  for (std::size_t i = 0; i < l.cues.size(); ++i) {
    check(l.cues[i].ms >= 0 && l.cues[i].line >= 0 && l.cues[i].line < lines);
    check(i == 0 || l.cues[i - 1].ms <= l.cues[i].ms);
  }
  for (std::int64_t ms : {std::int64_t{0}, std::int64_t{1234}, std::int64_t{60000}, std::int64_t{1} << 40}) {
    const int line = qiwa::current_line(l.cues, ms);
    check(line >= -1 && line < lines);
    check(line == -1 || !l.cues.empty());
  }
  return 0;
}
