#pragma once
// The lyrics of a lyrics answer as the lines of the lyrics box.
#include "runtime/types.hpp"

namespace qiwa {

// The "lyric" string of an answer as sent (escapes still in it); empty when the answer has none.
// The "tlyric" translation and anything else are never read.
Text lyric_value(std::string_view answer);

// One CR LF ended line per lyric line, its time tags removed and its HTML character references (&apos;,
// &#x4F60;, ...) read; metadata lines ([ti:], [ar:], [al:], [by:], [offset:], ...) add nothing. Takes the
// decoded lyric text.
Text lyric_lines(std::string_view lyric);

}  // namespace qiwa
