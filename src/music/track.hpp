#pragma once
// A song's audio address, cover and lyrics at the service, and its download into the songs' folder.
#include <functional>
#include <stop_token>

#include "music/id3_tag.hpp"
#include "music/lyrics.hpp"
#include "music/service.hpp"
#include "music/song.hpp"
#include "runtime/download.hpp"
#include "runtime/files.hpp"
#include "runtime/mp3_frames.hpp"

namespace qiwa {

// The song of a play: the selected row's title, ids, singer and album, and the catalogue the row came from.
struct Track {
  Text title, url_id, pic_id, lyric_id;
  Text source;
  Text singer, album;
};

// The bit rates a song can be asked in (the form's "br"), in kbps.
inline constexpr int kQualities[] = {128, 192, 320};

// A song's address, and the bit rate the service says it gave (0 when it did not say).
struct SongAddress {
  Text url;
  int kbps = 0;
  bool operator==(const SongAddress&) const = default;
};

// The track of a row of the list.
Track track_of(const SongRow& row);

// The song's address from a track answer (escapes decoded). With `ask_m500`, "M800" (the catalogue's
// 320 kbps file) becomes "M500" (its 128 kbps one), and the bit rate given is then at most 128.
SongAddress track_address(std::string_view answer, bool ask_m500);
// The cover's address from a picture answer (escapes decoded).
Text picture_address(std::string_view answer);

// The song's address in the bit rate asked (`kbps`, one of kQualities); an empty url when the service has
// none for it. A catalogue that names its files by quality (`m500_below_320`) gets the "M500" file below
// 320 kbps.
SongAddress resolve_track(const ServiceClient& service, const Track& track, int kbps, bool m500_below_320);
// The cover picture's bytes; empty when there is none.
Bytes fetch_cover(const ServiceClient& service, const Track& track);
// The lyrics as the lines of the lyrics box, and when each is sung; empty when there are none. The
// translation the same answer carries goes to `translation` when one is asked for.
Lyrics fetch_lyrics(const ServiceClient& service, const Track& track, Lyrics* translation = nullptr);

// The tag a saved song starts with: its texts, and the program's identity of it (catalogue and ids).
SongTag song_tag(const Track& track);
// True when the tag is the program's of this very song: the same catalogue and song id.
bool is_tag_of(const SongTag& tag, const Track& track);

// How far the numbered names of one song are tried: "晴天.mp3" to "晴天 (999).mp3".
inline constexpr unsigned kMaxNumberedNames = 999;

// Where a play of the track stands in the run directory.
struct SongPlace {
  Text saved;  // a whole song of this track that the program saved before, to play as it is
  Text free;   // otherwise the first of the title's names that no file has (empty: none is left)
};
// Walks the names of `name` (the title, or singer and title, as the user chose) in `directory` in order
// up to the first free one. A file there is this song only when it carries this track's identity and is
// whole; every other file is passed over and never touched.
SongPlace find_song_place(Files& files, std::string_view directory, std::string_view name, const Track& track);
// True when the file, read to its end, is a whole MP3 song.
bool file_is_whole_song(Files& files, std::string_view path);

// A part file being written.
struct PartFile {
  Text path;
  std::unique_ptr<OutputFile> file;
};
// Makes a new part file beside `song_path`, "<song_path>.<process>-<n>.part", trying the next n while the
// name is taken: a part file never meets a file that is there, of this run, another or another copy.
std::optional<PartFile> create_part_file(Files& files, std::string_view song_path, unsigned n);

// At start, on a worker: the files a killed run of the program left beside its songs in `folder`, each only of the exact
// form "<name>.mp3.<process>-<n><suffix>" and of a process that no longer runs. A part file or a retag's
// new file is removed; a song set aside while it was replaced (".old") takes its name back when the new
// one never took it, and is removed when it did. How many files went.
std::size_t remove_song_leftovers(Files& files, std::string_view folder);

enum class Fetched { whole, failed, stopped };

// Told after each piece reached the part file: what has come so far, how many bytes of the body, and the
// length the response declared (nothing when it declared none).
using PartWritten =
    std::function<void(const Mp3Sniffer&, std::uint64_t written, std::optional<std::uint64_t> length)>;

// Writes the tag and then streams the address into the part file, which it closes. `whole` only for a
// body that came to its end and is a whole MP3 song (its last frame whole, its summary frame's counts
// met); anything else removes the part file: a failure, a stop (the token was raised meanwhile), a web
// page, a song cut short with or without a declared length.
Fetched download_to_part(Downloader& downloader, Files& files, std::string_view address, PartFile& part,
                         const SongTag& tag, std::stop_token stop, const PartWritten& written = {});
// Moves the whole part file to the first of the names of `name` in `directory` that no file has, never
// over a file. The path it took, or empty when none would take it (the part file is then gone).
Text put_in_place(Files& files, std::string_view part, std::string_view directory, std::string_view name);

}  // namespace qiwa
