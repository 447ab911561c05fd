#pragma once
// A kept song's tag put in its file: a new file beside it takes the new tag and the old file's audio, and
// then replaces it in one step, so that the song is whole at every moment, old or new.
#include "music/id3_tag.hpp"
#include "runtime/files.hpp"

namespace qiwa {

enum class Retag {
  done,
  unreadable,   // the song could not be opened or read to its end
  no_audio,     // nothing after its tags: there is no sound to keep
  no_room,      // no new file could be made beside it, or writing it failed (a full disk)
  not_replaced  // the new file could not take the song's place (a reader that holds it open, on old Windows)
};

// Writes `tag` and the song's audio into "<path>.<process>-<n>.retag" (a new name, never a file that is
// there), flushed, which then replaces the song. The song's ID3v2 tags at its start are left out (a tag of
// the service's is replaced, not doubled), and so is an ID3v1 tag at its end: its Latin-1 texts would
// contradict the new tag's. The audio is copied byte for byte, a piece at a time. Anything but `done`
// leaves the song as it was and the new file gone.
Retag retag_song(Files& files, std::string_view path, const SongTag& tag);

}  // namespace qiwa
