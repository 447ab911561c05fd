#include "app/play_worker.hpp"

#include <functional>
#include <optional>

#include "music/catalogue.hpp"

namespace qiwa {
namespace {

struct Play {
  AppContext& app;
  const PlayRequest& request;

  // False once a newer play started or the window is closing: this one then shows nothing.
  bool current() const { return !request.stop.stop_requested(); }

  // Runs fn on the window's thread, checking there that this play is still the newest. A newer play's
  // click runs there too, so nothing it does can come between the check and fn.
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

void report_failure(const Play& p, const char* message) {
  if (!p.show([&] { p.app.window.set_title(kIdleTitle); })) return;
  p.app.window.message_box(message, kOk, kDefaultCaption);
}

// The part file becomes the song's file, unless the window is closing (then it goes).
bool place(AppContext& app, const SongFiles& song) {
  Files& files = app.platform.files;
  if (app.downloads.place(song.part, song.path, [&] { return put_in_place(files, song); })) return true;
  files.remove(song.part);
  return false;
}

// Downloads the song into a part file beside its file. A download that failed, was stopped, or is no
// song leaves no file and touches no earlier file of the song's name.
std::optional<SongFiles> download(const Play& p, const Text& address) {
  AppContext& app = p.app;
  const SongFiles song = song_files(app.run_directory, p.request.track.title, p.request.tag);
  if (!app.downloads.begin(song.part)) return std::nullopt;  // the window is closing
  const Downloaded got =
      download_to_part(app.platform.downloader, app.platform.files, address, song, p.request.stop);
  if (got.fetched == Fetched::whole && got.song) return song;
  app.downloads.end(song.part);
  if (got.fetched == Fetched::whole) app.platform.files.remove(song.part);  // a web page, not a song
  if (got.fetched != Fetched::stopped) report_failure(p, kDownloadFailed);
  return std::nullopt;
}

// In one step on the window's thread: unless a newer play has started, the song goes into place and
// starts playing. A play overtaken after its download still keeps the song's file, and nothing else.
bool start_playing(const Play& p, const SongFiles& song) {
  AppContext& app = p.app;
  bool played = false;
  const bool current = p.show([&] {
    app.platform.player.stop();  // it may hold an earlier file of this name open
    if (!place(app, song)) return;
    app.window.set_title(kBufferedTitle);
    played = app.platform.player.play(song.path, 1);
  });
  if (!current) {
    place(app, song);
    return false;
  }
  if (!played) report_failure(p, kDownloadFailed);
  return played;
}

void show_cover(const Play& p) {
  Bytes image = fetch_cover(p.app.service, p.request.track);
  p.show([&] { p.app.window.set_picture(image); });
}

void show_lyrics(const Play& p) {
  Text lines = fetch_lyrics(p.app.service, p.request.track);
  if (!lines.empty()) p.show([&] { p.app.window.append_text(Control::编辑框2, lines); });
}

}  // namespace

void run_play(AppContext& app, const PlayRequest& request) {
  Play p{app, request};
  MainWindow& w = app.window;
  const Catalogue* shown = catalogue_at(w.selected_item(Control::组合框1));
  Text address = resolve_track(app.service, request.track, shown && shown->ask_m500);
  if (address.empty()) {
    if (p.current()) w.message_box(kParseFailed, kOk, kDefaultCaption);
    return;
  }
  if (!p.show([&] { w.set_title(kBufferingTitle); })) return;
  std::optional<SongFiles> song = download(p, address);
  if (!song || !start_playing(p, *song)) return;
  show_cover(p);
  show_lyrics(p);
  p.show([&] { w.set_title(Text(kPlayingTitle) + request.track.title); });
}

}  // namespace qiwa
