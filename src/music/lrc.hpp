#pragma once
// The lyrics as a song's timed lines: for the tag (SYLT) and for a ".lrc" file beside the song.
#include <vector>

#include "music/id3_tag.hpp"
#include "music/lyrics.hpp"

namespace qiwa {

// Each cue's line and its time, in time order; a cue before the song's start is at 0.
std::vector<TimedText> timed_lines(const Lyrics& lyrics);

// The lyrics a tag carries, as the lyrics box shows them: its USLT lines, each SYLT time a cue of the
// line that says its text (the next such line after the last one found, else the first); without USLT,
// the SYLT texts are the lines. A song on disk shows them without asking the service.
Lyrics lyrics_of_tag(const SongTag& tag);

// The text of a ".lrc" file: UTF-8 with a byte order mark, one "[mm:ss.xx]line" per cue (minutes past 99
// take more digits), CR LF ended; lyrics without cues give their lines untimed. Empty lyrics give nothing.
Text lrc_text(const Lyrics& lyrics);

}  // namespace qiwa
