#pragma once
// The lyrics of a lyrics answer as the lines of the lyrics box, and when each line is sung.
#include <cstdint>
#include <vector>

#include "runtime/types.hpp"

namespace qiwa {

// The "lyric" string of an answer as sent (escapes still in it); empty when the answer has none.
Text lyric_value(std::string_view answer);
// The "tlyric" string: the translation, in the same tagged form, sent beside the lyrics; often "".
Text translation_value(std::string_view answer);

// A moment a line of the box starts being sung: milliseconds into the song, 0-based line of the box.
struct LyricCue {
  std::int64_t ms = 0;
  int line = 0;
};

struct Lyrics {
  Text lines;                   // as lyric_lines gives them
  std::vector<LyricCue> cues;   // by time; a line tagged several times has a cue for each
};

// One CR LF ended line per lyric line, its time tags removed and its HTML character references (&apos;,
// &#x4F60;, ...) read; metadata lines ([ti:], [ar:], [al:], [by:], [offset:], ...) add nothing. Takes the
// decoded lyric text.
Text lyric_lines(std::string_view lyric);

// The lines, and the cues of their time tags ([mm:ss], [mm:ss.x], [mm:ss.xx], [mm:ss.xxx], [mm:ss:xx])
// with [offset:±N] applied (positive: every line comes N ms sooner). Lines without a tag have no cue.
Lyrics read_lyrics(std::string_view lyric);

// The line being sung `ms` into the song: that of the last cue at or before it; -1 before the first.
int current_line(const std::vector<LyricCue>& cues, std::int64_t ms);

}  // namespace qiwa
