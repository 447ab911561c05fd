#include "music/track.hpp"

#include "music/file_name.hpp"
#include "music/lyrics.hpp"
#include "runtime/text.hpp"
#include "text/extract.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

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

SongFiles song_files(std::string_view run_directory, std::string_view title, unsigned tag) {
  Text path = song_file_path(run_directory, title);
  return {path, path + "." + to_text(tag) + ".part"};
}

Downloaded download_to_part(Downloader& downloader, Files& files, std::string_view address, const SongFiles& song,
                            std::stop_token stop, const PartWritten& on_written) {
  std::unique_ptr<OutputFile> out = files.create(song.part);
  if (!out) return {};
  Mp3Sniffer sniffer;
  std::uint64_t written = 0;
  std::optional<std::uint64_t> declared;
  DownloadResult result = downloader.download(
      address,
      [&](const unsigned char* data, std::size_t size) {
        sniffer.feed(data, size);
        if (!out->write(data, size)) return false;
        written += size;
        if (on_written) on_written(sniffer, written, declared);
        return true;
      },
      kDownloadCap, stop, [&](std::optional<std::uint64_t> length) { declared = length; });
  const bool closed = out->close();
  Downloaded done;
  done.fetched = stop.stop_requested() || result.status == DownloadStatus::stopped ? Fetched::stopped
                 : result.status != DownloadStatus::ok || !closed                  ? Fetched::failed
                                                                                  : Fetched::whole;
  done.song = sniffer.is_song();
  if (done.fetched != Fetched::whole) files.remove(song.part);
  return done;
}

bool put_in_place(Files& files, const SongFiles& song) {
  if (files.move(song.part, song.path)) return true;
  files.remove(song.part);
  return false;
}

}  // namespace qiwa
