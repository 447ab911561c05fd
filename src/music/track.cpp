#include "music/track.hpp"

#include "music/file_name.hpp"
#include "music/lyrics.hpp"
#include "runtime/leftovers.hpp"
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

// The answer's "br": a positive whole number of kbps (written bare or quoted), else 0.
int given_kbps(std::string_view answer) {
  constexpr std::string_view key = "\"br\":";
  const std::size_t at = answer.find(key);
  if (at == std::string_view::npos) return 0;
  std::size_t i = at + key.size();
  if (i < answer.size() && answer[i] == '"') ++i;
  int kbps = 0;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i) {
    kbps = kbps * 10 + (answer[i] - '0');
    if (kbps > 100000) return 0;  // no bit rate: garbage
  }
  return kbps;
}

}  // namespace

Track track_of(const SongRow& row) {
  return Track{row.title, row.url_id, row.pic_id, row.lyric_id, row.source, row.singer, row.album};
}

SongAddress track_address(std::string_view answer, bool ask_m500) {
  SongAddress address{extract_first_between(answer, "\"url\":\"", "\",\""), given_kbps(answer)};
  if (!ask_m500) return address;
  Text rewritten = replace(address.url, "M800", "M500", true);
  if (rewritten != address.url && address.kbps > 128) address.kbps = 128;
  address.url = std::move(rewritten);
  return address;
}

Text picture_address(std::string_view answer) { return extract_first_between(answer, "url\":\"", "\"})"); }

SongAddress resolve_track(const ServiceClient& service, const Track& track, int kbps, bool m500_below_320) {
  const Text br = to_text(static_cast<long long>(kbps));
  const Text form = form_body({{"types", "url"}, {"id", track.url_id}, {"source", track.source}, {"br", br}});
  return track_address(query_service(service, kTrackCallback, form), m500_below_320 && kbps < 320);
}

Bytes fetch_cover(const ServiceClient& service, const Track& track) {
  Text answer = query_service(service, kTrackCallback, track_form("pic", track.pic_id, track.source));
  return fetch_address(service, picture_address(answer));
}

Lyrics fetch_lyrics(const ServiceClient& service, const Track& track, Lyrics* translation) {
  Text answer = query_service_raw(service, kTrackCallback, track_form("lyric", track.lyric_id, track.source));
  if (translation) *translation = read_lyrics(unescape_text(translation_value(answer)));
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

std::size_t remove_song_leftovers(Files& files, std::string_view folder) {
  const auto song_temporary = [&files](std::string_view name, std::string_view suffix) {
    const std::optional<TemporaryName> t = read_temporary_name(name, suffix);
    const bool song = t && t->target.size() > 4 && t->target.substr(t->target.size() - 4) == ".mp3";
    return song && abandoned(files, *t) ? t : std::nullopt;
  };
  const Text dir(folder);
  std::size_t removed = 0;
  const std::vector<FileInfo> listed = files.list_files(folder);
  for (const FileInfo& file : listed)  // first, so a song caught half replaced is whole again
    if (const auto t = song_temporary(file.name, ".old")) {
      const Text song = dir + "\\" + Text(t->target);
      if (!files.exact_exists(song))
        files.move_new(dir + "\\" + file.name, song);
      else if (files.remove(dir + "\\" + file.name))
        ++removed;
    }
  for (const FileInfo& file : listed)
    if (song_temporary(file.name, ".part") || song_temporary(file.name, ".retag"))
      removed += files.remove(dir + "\\" + file.name) ? 1 : 0;
  return removed;
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
