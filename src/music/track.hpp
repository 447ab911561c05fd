#pragma once
// A song's audio address, cover and lyrics at the service, and its download into the run directory.
#include <functional>
#include <stop_token>

#include "music/lyrics.hpp"
#include "music/service.hpp"
#include "runtime/download.hpp"
#include "runtime/files.hpp"
#include "runtime/mp3_frames.hpp"

namespace qiwa {

// The song of a play: the selected row's title and ids, and the source of the last search.
struct Track {
  Text title, url_id, pic_id, lyric_id;
  Text source;
};

// The song's address from a track answer (escapes decoded); "M800" becomes "M500" when asked.
Text track_address(std::string_view answer, bool ask_m500);
// The cover's address from a picture answer (escapes decoded).
Text picture_address(std::string_view answer);

// The song's address; empty when the service has none for it.
Text resolve_track(const ServiceClient& service, const Track& track, bool ask_m500);
// The cover picture's bytes; empty when there is none.
Bytes fetch_cover(const ServiceClient& service, const Track& track);
// The lyrics as the lines of the lyrics box, and when each is sung; empty when there are none.
Lyrics fetch_lyrics(const ServiceClient& service, const Track& track);

// Where one download of a song goes: the song's file, and the part file it grows in until it is whole.
// `tag` keeps the part files of two downloads apart.
struct SongFiles {
  Text path, part;
};
SongFiles song_files(std::string_view run_directory, std::string_view title, unsigned tag);

enum class Fetched { whole, failed, stopped };

struct Downloaded {
  Fetched fetched = Fetched::failed;
  bool song = false;  // its first bytes are MP3 audio: whole frames after any tags
};

// Told after each piece reached the part file: what has come so far, how many bytes, and the length the
// response declared (nothing when it declared none).
using PartWritten =
    std::function<void(const Mp3Sniffer&, std::uint64_t written, std::optional<std::uint64_t> length)>;

// Streams the address into the part file. Only a whole body stays there; a failed or stopped one (the
// token was raised meanwhile) leaves no file.
Downloaded download_to_part(Downloader& downloader, Files& files, std::string_view address, const SongFiles& song,
                            std::stop_token stop, const PartWritten& written = {});
// Moves the whole part file over the song's file (an earlier file of that name is replaced). False, with
// the part file gone and the earlier file as it was, when it cannot.
bool put_in_place(Files& files, const SongFiles& song);

}  // namespace qiwa
