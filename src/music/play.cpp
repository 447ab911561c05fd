#include "music/play.hpp"

#include <functional>

#include "http/request.hpp"
#include "music/file_name.hpp"
#include "music/lyrics.hpp"
#include "music/service.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "text/extract.hpp"

namespace qiwa {
namespace {

enum class Outcome { done, failed, superseded };

struct Play {
  AppContext& app;
  const PlayRequest& request;

  // False once a newer play started or the window is closing: this one then shows nothing.
  bool current() const { return app.play_generation.load() == request.generation && !app.closing.load(); }

  // Runs fn on the window's thread, checking there that this play is still the newest.
  bool show(const std::function<void()>& fn) const {
    bool ran = false;
    app.window.invoke([&] {
      if (current()) {
        fn();
        ran = true;
      }
    });
    return ran;
  }
};

Text track_form(const char* types, const Text& id, const Text& source) {
  return form_body({{"types", types}, {"id", id}, {"source", source}});
}

void report_failure(const Play& p, const char* message) {
  if (!p.show([&] { p.app.window.set_title(kIdleTitle); })) return;
  p.app.window.message_box(message, kOk, kDefaultCaption);
}

// Moves the whole download into place. An earlier file of that name waits aside as `earlier` until
// the new one proves playable, so a download that is no song loses nothing.
bool put_in_place(const Text& part, const Text& path, const Text& earlier) {
  if (exact_file_exists(path) && !move_file(path, earlier)) return false;
  if (move_file(part, path)) return true;
  move_file(earlier, path);
  return false;
}

// Streams into a temporary file beside `path` and moves it into place only when it came whole, so a
// failed or stopped download never leaves a partial song behind.
Outcome download_song(const Play& p, const Text& address, const Text& path, const Text& earlier) {
  AppContext& app = p.app;
  Text part = path + "." + to_text(p.request.generation) + ".part";
  ++app.downloads_running;  // until this returns, the part file is ours to remove
  struct Running {
    std::atomic<int>& count;
    ~Running() { --count; }
  } running{app.downloads_running};
  if (!app.downloads.add(part)) return Outcome::superseded;  // the exit clean-up already ran
  OutputFile out;
  if (!out.open(part)) return Outcome::failed;
  DownloadResult result = app.downloader.download(address, [&](const unsigned char* data, std::size_t size) {
    return p.current() && out.write(data, size);
  });
  bool written = out.close();
  Outcome outcome = !p.current()                                  ? Outcome::superseded
                    : result.status != DownloadStatus::ok || !written ? Outcome::failed
                                                                      : Outcome::done;
  if (outcome == Outcome::done && !(app.downloads.add(path) && app.downloads.add(earlier)))
    outcome = Outcome::superseded;
  if (outcome == Outcome::done) {
    app.player.stop();  // it may hold an earlier file of this name open
    if (!put_in_place(part, path, earlier)) outcome = Outcome::failed;
  }
  if (outcome != Outcome::done) delete_file(part);
  return outcome;
}

void show_cover(const Play& p) {
  const PlayRequest& r = p.request;
  Text answer = query_service(p.app.service_host, kTrackCallback, track_form("pic", r.pic_id, r.source));
  Text address = picture_address(answer);
  Bytes image;
  if (!address.empty()) {
    RequestOptions options;
    options.url = address;
    RequestResult result = perform_request(options);
    if (result.failure == RequestFailure::none && result.status_out >= 200 && result.status_out <= 299)
      image = std::move(result.body);
  }
  p.show([&] { p.app.window.set_picture(image); });
}

void show_lyrics(const Play& p) {
  const PlayRequest& r = p.request;
  Text answer = query_service_raw(p.app.service_host, kTrackCallback, track_form("lyric", r.lyric_id, r.source));
  Text lines = lyric_lines(decode_answer_value(lyric_value(answer)));
  if (!lines.empty()) p.show([&] { p.app.window.append_text(Control::编辑框2, lines); });
}

}  // namespace

Text track_address(std::string_view answer, bool qq_quality_rewrite) {
  Text address = extract_first_between(answer, "\"url\":\"", "\",\"");
  if (qq_quality_rewrite) address = replace(address, "M800", "M500", true);
  return address;
}

Text picture_address(std::string_view answer) { return extract_first_between(answer, "url\":\"", "\"})"); }

void download_and_play(AppContext& app, const PlayRequest& request) {
  Play p{app, request};
  MainWindow& w = app.window;
  Text answer = query_service(app.service_host, kTrackCallback, track_form("url", request.url_id, request.source));
  Text address = track_address(answer, w.selected_item(Control::组合框1) == 2);
  if (address.empty()) {
    if (p.current()) w.message_box(kParseFailed, kOk, kDefaultCaption);
    return;
  }
  if (!p.show([&] { w.set_title(kBufferingTitle); })) return;
  Text path = song_file_path(app.run_directory, request.title);
  Text earlier = path + "." + to_text(request.generation) + ".old";
  Outcome outcome = download_song(p, address, path, earlier);
  if (outcome == Outcome::superseded) return;
  if (outcome == Outcome::failed) return report_failure(p, kDownloadFailed);
  if (!p.show([&] { w.set_title(kBufferedTitle); })) {
    delete_file(earlier);  // the new file is whole and stays, as every finished download does
    return;
  }
  if (!app.player.play(path, 1)) {
    delete_file(path);  // not a song we can play: nothing of it stays
    move_file(earlier, path);
    return report_failure(p, kDownloadFailed);
  }
  delete_file(earlier);
  show_cover(p);
  show_lyrics(p);
  p.show([&] { w.set_title(Text(kPlayingTitle) + request.title); });
}

}  // namespace qiwa
