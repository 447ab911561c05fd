#include "app/playing.hpp"

#include <atomic>
#include <memory>

#include "music/catalogue.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

// Audio in the part file before the sound starts from it: enough that the first frames never wait.
constexpr std::uint64_t kEarlyStartMs = 1000;

// One play, from the click to the end of its download, shared by its workers and the steps they post.
struct Play {
  Play(AppContext& a, std::stop_token s, Track t, unsigned tag)
      : app(a), service(a.service), stop(std::move(s)), track(std::move(t)),
        files(song_files(a.run_directory, track.title, tag)) {}

  AppContext& app;
  const ServiceClient service;  // as it was at the click: the settings may change it meanwhile
  const std::stop_token stop;   // raised when a newer play starts, or the window closes
  const Track track;
  const SongFiles files;
  // What the player is told of the part file: growing until the download ends.
  const std::shared_ptr<std::atomic<SourceState>> growth =
      std::make_shared<std::atomic<SourceState>>(SourceState::growing);

  // The window's thread's own.
  bool started = false;        // its sound started from the growing part file
  bool broken = false;         // its download failed after the sound had started
  bool progress_shown = false;  // its taskbar progress is up

  // False once a newer play started, the window is closing, or the song broke off: it then shows nothing.
  bool current() const { return !stop.stop_requested() && !broken; }
};
using PlayRef = std::shared_ptr<Play>;

// Runs fn on the window's thread, if the play is still current there: no newer click can come between
// the check and what fn shows.
void when_current(const PlayRef& p, std::function<void()> fn) {
  p->app.executor.post([p, fn = std::move(fn)] {
    if (p->current()) fn();
  });
}

void report_failure(Play& p, const char* message) {
  p.app.window.set_title(kIdleTitle);
  p.app.window.message_box(message);
}

// A new song starts unpaused.
void sound_started(AppContext& app) {
  app.paused = false;
  app.window.set_paused(false);
}

// Cover, lyrics and then the playing title, in the order of a song played whole; each shown as it comes.
void show_extras(const PlayRef& p) {
  AppContext& app = p->app;
  Bytes cover = fetch_cover(p->service, p->track);
  when_current(p, [&app, cover = std::move(cover)] { app.window.show_cover(cover); });
  Lyrics lyrics = fetch_lyrics(p->service, p->track);
  if (!lyrics.lines.empty()) {
    when_current(p, [&app, lyrics = std::move(lyrics)]() mutable {
      app.window.add_lyrics(lyrics.lines);
      app.lyrics.follow(std::move(lyrics.cues));
    });
  }
  when_current(p, [&app, title = Text(kPlayingTitle) + p->track.title] { app.window.set_title(title); });
}

void fetch_extras(const PlayRef& p) {
  if (!p->app.executor.run([p] { show_extras(p); }))
    p->app.window.set_title(Text(kPlayingTitle) + p->track.title);  // no worker: no cover and lyrics
}

// About a second of the song is in the part file: the sound starts from it while the rest comes.
void start_early(const PlayRef& p) {
  AppContext& app = p->app;
  app.platform.player.stop();  // the song before, before it could hold this name's file
  app.window.set_title(kBufferedTitle);
  p->started = app.platform.player.play_growing(p->files.part, [growth = p->growth] { return growth->load(); });
  if (!p->started) return;
  sound_started(app);
  fetch_extras(p);
}

// The part file becomes the song's file, unless the window is closing (then it goes).
bool place(Play& p) {
  Files& files = p.app.platform.files;
  if (p.app.downloads.place(p.files.part, p.files.path, [&] { return put_in_place(files, p.files); })) return true;
  files.remove(p.files.part);
  return false;
}

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  p.app.platform.player.stop();
  p.app.lyrics.stop();
  p.broken = true;  // nothing it still has on its way is shown
  report_failure(p, kDownloadFailed);
}

// The download is over, whichever way; on the window's thread, current or not: a play overtaken after its
// download still keeps the song's file, and nothing else.
void finish(const PlayRef& p, const Downloaded& got) {
  Play& play = *p;
  AppContext& app = play.app;
  if (play.progress_shown && play.current()) app.window.set_taskbar_progress({});
  const bool whole = got.fetched == Fetched::whole && got.song;
  if (!whole) {
    app.downloads.end(play.files.part);
    if (got.fetched == Fetched::whole) app.platform.files.remove(play.files.part);  // a web page, not a song
    if (got.fetched == Fetched::stopped || !play.current()) return;
    if (play.started)
      break_off(play);
    else
      report_failure(play, kDownloadFailed);
    return;
  }
  if (play.started || !play.current()) {
    place(play);  // the player reads on through its handle, whatever the file's name
    return;
  }
  app.platform.player.stop();  // it may hold an earlier file of this name open
  if (!place(play) || !app.platform.player.play_file(play.files.path)) {
    report_failure(play, kDownloadFailed);
    return;
  }
  app.window.set_title(kBufferedTitle);
  sound_started(app);
  fetch_extras(p);
}

// What the download worker tells the window's thread as the pieces come: the taskbar's progress when
// its whole percent changes, and once that a second of the song is there.
class Progress {
 public:
  explicit Progress(PlayRef p) : p_(std::move(p)) {}
  void written(const Mp3Sniffer& sniffer, std::uint64_t bytes, std::optional<std::uint64_t> length) {
    TaskbarProgress now;
    const bool known = length && *length > 0;
    now.state = known ? TaskbarProgress::State::known : TaskbarProgress::State::unknown;
    const int percent = known ? static_cast<int>(bytes * 100 / *length) : -1;
    if (percent != shown_percent_) {
      shown_percent_ = percent;
      if (known) now.done = bytes, now.total = *length;
      when_current(p_, [p = p_.get(), now] {
        p->app.window.set_taskbar_progress(now);
        p->progress_shown = true;
      });
    }
    if (!early_ && sniffer.holds_ms(kEarlyStartMs)) {
      early_ = true;
      when_current(p_, [p = p_] { start_early(p); });
    }
  }

 private:
  PlayRef p_;
  int shown_percent_ = -2;
  bool early_ = false;
};

// Downloads the song into a part file beside its file. A download that failed, was stopped, or is no song
// leaves no file and touches no earlier file of the song's name.
void download(const PlayRef& p, const Text& address) {
  AppContext& app = p->app;
  if (!app.downloads.begin(p->files.part)) return;  // the window is closing
  Progress progress(p);
  const Downloaded got = download_to_part(
      app.platform.downloader, app.platform.files, address, p->files, p->stop,
      [&](const Mp3Sniffer& sniffer, std::uint64_t written, std::optional<std::uint64_t> length) {
        progress.written(sniffer, written, length);
      });
  // The player learns at once where the song ends; what the user sees follows on the window's thread.
  p->growth->store(got.fetched == Fetched::whole && got.song ? SourceState::complete : SourceState::failed);
  app.executor.post([p, got] { finish(p, got); });
}

// The song's address at the service, with the catalogue its row came from.
void resolve(const PlayRef& p) {
  const Catalogue* catalogue = catalogue_named(p->track.source);
  Text address = resolve_track(p->service, p->track, catalogue && catalogue->ask_m500);
  when_current(p, [p, address = std::move(address)] {
    AppContext& app = p->app;
    if (address.empty()) {
      app.window.message_box(kParseFailed);
      return;
    }
    app.window.set_title(kBufferingTitle);
    if (!app.executor.run([p, address] { download(p, address); })) report_failure(*p, kDownloadFailed);
  });
}

Track selected_track(const AppContext& app) {
  const int row = app.window.selected_row();
  if (row < 0 || row >= static_cast<int>(app.rows.size())) return {};
  const SongRow& r = app.rows[static_cast<std::size_t>(row)];
  return Track{r.title, r.url_id, r.pic_id, r.lyric_id, r.source};
}

}  // namespace

void play_selected(AppContext& app) {
  app.lyrics.stop();
  app.window.clear_lyrics();
  app.window.set_taskbar_progress({});  // the bar of a download this click overtakes
  auto p = std::make_shared<Play>(app, app.plays.renew(), selected_track(app), ++app.plays_started);
  app.executor.run([p] { resolve(p); });
  // The sound system is readied while the first song downloads; later plays find it ready.
  if (!app.player_prepared) app.player_prepared = app.executor.run([&app] { app.platform.player.prepare(); });
}

void toggle_pause(AppContext& app) {
  app.paused = !app.paused;
  app.window.set_paused(app.paused);
  if (app.paused)
    app.platform.player.pause();
  else
    app.platform.player.resume();
}

}  // namespace qiwa
