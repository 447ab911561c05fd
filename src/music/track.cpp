#include "music/track.hpp"

#include "music/file_name.hpp"
#include "music/lyrics.hpp"
#include "runtime/text.hpp"
#include "text/extract.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

// The descriptions of the user texts that carry the program's identity of a saved song.
constexpr const char* kTagSource = "QIWA_SOURCE";
constexpr const char* kTagId = "QIWA_ID";
constexpr const char* kTagPicId = "QIWA_PIC_ID";
constexpr const char* kTagLyricId = "QIWA_LYRIC_ID";

Text track_form(const char* types, const Text& id, const Text& source) {
  return form_body({{"types", types}, {"id", id}, {"source", source}});
}

}  // namespace

Text track_address(std::string_view answer, bool ask_m500) {
  Text address = extract_first_between(answer, "\"url\":\"", "\",\"");
  if (ask_m500) address = replace(address, "M800", "M500", true);
  return address;
}

Text picture_address(std::string_view answer) { return extract_first_between(answer, "url\":\"", "\"})"); }

Text resolve_track(const ServiceClient& service, const Track& track, bool ask_m500) {
  return track_address(query_service(service, kTrackCallback, track_form("url", track.url_id, track.source)),
                       ask_m500);
}

Bytes fetch_cover(const ServiceClient& service, const Track& track) {
  Text answer = query_service(service, kTrackCallback, track_form("pic", track.pic_id, track.source));
  return fetch_address(service, picture_address(answer));
}

Lyrics fetch_lyrics(const ServiceClient& service, const Track& track) {
  Text answer = query_service_raw(service, kTrackCallback, track_form("lyric", track.lyric_id, track.source));
  return read_lyrics(unescape_text(lyric_value(answer)));
}

SongTag song_tag(const Track& track) {
  return {track.title,
          track.singer,
          track.album,
          {{kTagSource, track.source},
           {kTagId, track.url_id},
           {kTagPicId, track.pic_id},
           {kTagLyricId, track.lyric_id}}};
}

bool is_tag_of(const SongTag& tag, const Track& track) {
  const Text* source = tag.user_text(kTagSource);
  const Text* id = tag.user_text(kTagId);
  return source && id && !track.source.empty() && !track.url_id.empty() && *source == track.source &&
         *id == track.url_id;
}

bool file_is_whole_song(Files& files, std::string_view path) {
  std::unique_ptr<InputFile> file = files.open_read(path);
  if (!file) return false;
  Mp3WholeCheck check;
  Bytes piece(64 * 1024);
  const std::uint64_t size = file->size();
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t got = file->read(at, piece.data(), piece.size());
    if (got == 0) return false;  // the disk failed, or the file shrank under us
    check.feed(piece.data(), got);
    at += got;
  }
  return check.whole();
}

SongPlace find_song_place(Files& files, std::string_view directory, std::string_view name, const Track& track) {
  for (unsigned n = 1; n <= kMaxNumberedNames; ++n) {
    Text path = song_file_path(directory, name, n);
    if (!files.exact_exists(path)) return {{}, std::move(path)};
    const std::optional<SongTag> tag = read_file_tag(files, path);
    if (tag && is_tag_of(*tag, track) && file_is_whole_song(files, path)) return {std::move(path), {}};
  }
  return {};
}

std::optional<PartFile> create_part_file(Files& files, std::string_view song_path, unsigned n) {
  const Text stem = Text(song_path) + "." + to_text(static_cast<long long>(files.process_id())) + "-";
  for (unsigned tries = 0; tries < kMaxNumberedNames; ++tries, ++n) {
    PartFile part{stem + to_text(static_cast<long long>(n)) + ".part", nullptr};
    part.file = files.create_new(part.path);
    if (part.file) return part;
    if (!files.exact_exists(part.path)) return std::nullopt;  // not taken: the folder refuses new files
  }
  return std::nullopt;
}

Fetched download_to_part(Downloader& downloader, Files& files, std::string_view address, PartFile& part,
                         const SongTag& tag, std::stop_token stop, const PartWritten& on_written) {
  const Bytes head = write_id3_tag(tag);
  Mp3Sniffer sniffer;
  Mp3WholeCheck check;
  std::uint64_t written = 0;
  std::optional<std::uint64_t> declared;
  DownloadResult result{DownloadStatus::sink_failed, 0, 0};
  if (part.file->write(head.data(), head.size())) {
    result = downloader.download(
        address,
        [&](const unsigned char* data, std::size_t size) {
          sniffer.feed(data, size);
          check.feed(data, size);
          if (!part.file->write(data, size)) return false;
          written += size;
          if (on_written) on_written(sniffer, written, declared);
          return true;
        },
        kDownloadCap, stop, [&](std::optional<std::uint64_t> length) { declared = length; });
  }
  const bool closed = part.file->close();
  const Fetched fetched = stop.stop_requested() || result.status == DownloadStatus::stopped ? Fetched::stopped
                          : result.status == DownloadStatus::ok && closed && check.whole()  ? Fetched::whole
                                                                                            : Fetched::failed;
  if (fetched != Fetched::whole) files.remove(part.path);
  return fetched;
}

Text put_in_place(Files& files, std::string_view part, std::string_view directory, std::string_view name) {
  for (unsigned n = 1; n <= kMaxNumberedNames; ++n) {
    Text path = song_file_path(directory, name, n);
    if (!files.exact_exists(path) && files.move_new(part, path)) return path;
  }
  files.remove(part);
  return {};
}

}  // namespace qiwa
