#include "app/play_worker.hpp"

#include <functional>

#include "music/catalogue.hpp"

namespace qiwa {
namespace {

enum class Outcome { done, failed, superseded };

struct Play {
  AppContext& app;
  const PlayRequest& request;

  // False once a newer play started or the window is closing: this one then shows nothing.
  bool current() const { return !request.stop.stop_requested(); }

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

void report_failure(const Play& p, const char* message) {
  if (!p.show([&] { p.app.window.set_title(kIdleTitle); })) return;
  p.app.window.message_box(message, kOk, kDefaultCaption);
}

// Downloads into a part file beside the song's file and moves it into place only when it came whole,
// so a failed or stopped download never leaves a partial song behind.
Outcome download(const Play& p, const Text& address, const SongFiles& song) {
  AppContext& app = p.app;
  ++app.downloads_running;  // until this returns, the part file is ours to remove
  struct Running {
    std::atomic<int>& count;
    ~Running() { --count; }
  } running{app.downloads_running};
  if (!app.downloads.add(song.part)) return Outcome::superseded;  // the exit clean-up already ran
  switch (download_to_part(app.platform.downloader, app.platform.files, address, song, p.request.stop)) {
    case Fetched::stopped: return Outcome::superseded;
    case Fetched::failed: return Outcome::failed;
    case Fetched::whole: break;
  }
  if (!p.current() || !(app.downloads.add(song.path) && app.downloads.add(song.earlier))) {
    app.platform.files.remove(song.part);
    return Outcome::superseded;
  }
  app.platform.player.stop();  // it may hold an earlier file of this name open
  return put_in_place(app.platform.files, song) ? Outcome::done : Outcome::failed;
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
  Files& files = app.platform.files;
  const Catalogue* shown = catalogue_at(w.selected_item(Control::组合框1));
  Text address = resolve_track(app.service, request.track, shown && shown->ask_m500);
  if (address.empty()) {
    if (p.current()) w.message_box(kParseFailed, kOk, kDefaultCaption);
    return;
  }
  if (!p.show([&] { w.set_title(kBufferingTitle); })) return;
  const SongFiles song = song_files(app.run_directory, request.track.title, request.tag);
  Outcome outcome = download(p, address, song);
  if (outcome == Outcome::superseded) return;
  if (outcome == Outcome::failed) return report_failure(p, kDownloadFailed);
  if (!p.show([&] { w.set_title(kBufferedTitle); })) {
    files.remove(song.earlier);  // the new file is whole and stays, as every finished download does
    return;
  }
  if (!app.platform.player.play(song.path, 1)) {
    take_back(files, song);  // not a song we can play: nothing of it stays
    return report_failure(p, kDownloadFailed);
  }
  files.remove(song.earlier);
  show_cover(p);
  show_lyrics(p);
  p.show([&] { w.set_title(Text(kPlayingTitle) + request.track.title); });
}

}  // namespace qiwa
