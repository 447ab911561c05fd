#pragma once
// The whole tag of a song the program keeps (its texts, identity, cover and lyrics), and the lyrics as a
// ".lrc" file beside it. Only a file that carries the program's own identity of the song is rewritten:
// a user's file is never touched.
#include <functional>
#include <stop_token>

#include "music/lyrics.hpp"
#include "music/track.hpp"
#include "runtime/loudness.hpp"

namespace qiwa {

// What the cover and lyrics fetches gave; either may be empty (the service has none, or failed).
struct SongExtras {
  Bytes cover;
  Lyrics lyrics;
  Lyrics translation;  // shown on the desktop when asked for; not kept in the tag
};

enum class KeptTag {
  tagged,    // the file now carries the whole tag
  already,   // it carried that very tag before: nothing was written
  not_ours,  // no tag of the program's for this song: the file is left alone
  failed,    // the retag failed; the file is as it was
  stopped    // the program is closing: the file is as it was, to be tagged at its next play
};

// The song's replay gain, measured from its file for a tag that lacks it; none when there is none to
// have (silence, a corrupt file) or the measure was stopped.
using GainMeasure = std::function<std::optional<ReplayGain>()>;

// The tag the song's file should carry: the track's texts and identity, the cover and the lyrics (plain
// and timed), and the replay gain the file's tag had, so that a measured loudness is not lost.
SongTag kept_tag(const Track& track, const SongExtras& extras, const SongTag& before);
// Rewrites the tag of the song at `path` when it is the program's file of this track and its tag lacks
// something; the audio is copied, never held whole in memory. A tag without a replay gain gets the one
// `measure` gives, in the same rewrite; a raised `stop` then leaves the file as it was.
KeptTag tag_kept_song(Files& files, std::string_view path, const Track& track, const SongExtras& extras,
                      const GainMeasure& measure = {}, const std::stop_token& stop = {});

// "<folder>\<name>.lrc" beside "<folder>\<name>.mp3".
Text lrc_path(std::string_view song_path);

enum class LrcFile {
  written,  // put in place through the store's atomic write
  same,     // the file there already says exactly this
  kept,     // another file of that name is there (the user's, or an older one): it is kept
  none,     // no lyrics, nothing to write
  failed
};

// Writes the lyrics beside the song, never over a file of that name that says something else.
LrcFile write_lrc(Files& files, std::string_view song_path, const Lyrics& lyrics);

}  // namespace qiwa
