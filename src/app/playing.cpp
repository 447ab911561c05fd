#include "app/playing.hpp"

#include <atomic>
#include <memory>

#include "app/listening.hpp"
#include "app/desktop.hpp"
#include "app/keeping.hpp"
#include "app/lists.hpp"
#include "music/catalogue.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

// Audio in the part file before the sound starts from it: enough that the first frames never wait.
constexpr std::uint64_t kEarlyStartMs = 1000;

// One play, from the click to the end of its download, shared by its workers and the steps they post.
struct Play {
  Play(AppContext& a, std::stop_token s, SongRow r, unsigned tag, PlayOrigin o)
      : app(a), service(a.service), stop(std::move(s)), row(std::move(r)),
        track{row.title, row.url_id, row.pic_id, row.lyric_id, row.source},
        files(song_files(a.run_directory, track.title, tag)), origin(o), id(tag) {}

  AppContext& app;
  const ServiceClient service;  // as it was at the click: the settings may change it meanwhile
  const std::stop_token stop;   // raised when a newer play starts, or the window closes
  const SongRow row;
  const Track track;
  const SongFiles files;
  const PlayOrigin origin;
  const std::uint64_t id;  // the player's id of its song
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

// A row the user played fails in a box; one the queue reached by itself in the title, and the queue
// goes on; a song fetched ahead fails quietly (the queue meets its row again when it gets there).
void report_failure(Play& p, const char* message, bool idle_title = true) {
  AppContext& app = p.app;
  switch (p.origin) {
    case PlayOrigin::user:
      if (idle_title) app.window.set_title(kIdleTitle);
      app.window.message_box(message);
      break;
    case PlayOrigin::queue: queue_row_failed(app, message, p.track.title); break;
    case PlayOrigin::ahead:
      if (app.ahead_id == p.id) app.ahead_id = 0;
      break;
  }
}

// A new song starts unpaused.
void sound_started(Play& p) {
  AppContext& app = p.app;
  app.paused = false;
  app.window.set_paused(false);
  app.queue_failures = 0;
  follow_position(app, true);
  desktop_playing(app, true);
  if (p.origin != PlayOrigin::ahead) record_played(app);
}

Song song_of(const Play& p, const Text& path, std::function<SourceState()> growing = {}) {
  Song song;
  song.path = path;
  song.id = p.id;
  song.growing = std::move(growing);
  return song;
}

// Cover, lyrics and then the playing title, in the order of a song played whole; each shown as it comes.
void show_extras(const PlayRef& p) {
  AppContext& app = p->app;
  Bytes cover = fetch_cover(p->service, p->track);
  when_current(p, [&app, cover = std::move(cover)] { app.window.show_cover(cover); });
  Lyrics lyrics = fetch_lyrics(p->service, p->track);
  when_current(p, [&app, row = p->row, lyrics = std::move(lyrics)]() mutable {
    desktop_song(app, lyrics, row);
    if (lyrics.lines.empty()) return;
    app.window.add_lyrics(lyrics.lines);
    app.lyrics.follow(std::move(lyrics.cues));
  });
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
  p->started = app.platform.player.play(song_of(*p, p->files.part, [growth = p->growth] { return growth->load(); }));
  if (!p->started) return;
  sound_started(*p);
  fetch_extras(p);
}

// The part file becomes the song's file, unless the window is closing (then it goes).
bool place(Play& p) {
  Files& files = p.app.platform.files;
  if (p.app.downloads.place(p.files.part, p.files.path, [&] { return put_in_place(files, p.files); })) {
    p.app.stores.library.downloaded(LibrarySong{p.row.source, p.row, p.files.path});
    stores_changed(p.app);
    return true;
  }
  files.remove(p.files.part);
  return false;
}

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  p.app.platform.player.stop();
  p.app.lyrics.stop();
  follow_position(p.app, false);
  p.broken = true;  // nothing it still has on its way is shown
  report_failure(p, kDownloadFailed);
}

// The player follows the current song with this one's file, whole on disk; once it took over, its cover,
// lyrics and title show.
void follow_with(const PlayRef& p, const Text& path) {
  AppContext& app = p->app;
  if (app.ahead_id != p->id) return;  // the queue changed meanwhile
  app.platform.player.set_next(song_of(*p, path));
  app.on_ahead = [p, path] {
    AppContext& a = p->app;
    a.current_path = path;
    a.lyrics.stop();
    a.window.clear_lyrics();
    fetch_extras(p);
  };
}

// The download is over, whichever way; on the window's thread, current or not: a play overtaken after its
// download still keeps the song's file, and nothing else.
void finish(const PlayRef& p, const Downloaded& got) {
  Play& play = *p;
  AppContext& app = play.app;
  if (play.progress_shown && play.current()) app.window.set_taskbar_progress({});
  const bool whole = got.fetched == Fetched::whole && got.song;
  if (play.origin == PlayOrigin::ahead) {
    if (!whole) {
      app.downloads.end(play.files.part);
      if (got.fetched == Fetched::whole) app.platform.files.remove(play.files.part);
      if (play.current()) report_failure(play, kDownloadFailed);
      return;
    }
    if (place(play) && play.current()) follow_with(p, play.files.path);
    return;
  }
  if (whole && play.current()) {
    app.current_whole = true;
    app.current_path = play.files.path;
  }
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
    if (play.current()) fetch_ahead(app);
    return;
  }
  app.platform.player.stop();  // it may hold an earlier file of this name open
  if (!place(play) || !app.platform.player.play(song_of(play, play.files.path))) {
    report_failure(play, kDownloadFailed);
    return;
  }
  app.window.set_title(kBufferedTitle);
  sound_started(play);
  fetch_extras(p);
  fetch_ahead(app);
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
    if (p_->origin == PlayOrigin::ahead) return;  // the song heard now is another's
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
      report_failure(*p, kParseFailed, false);
      return;
    }
    if (p->origin != PlayOrigin::ahead) app.window.set_title(kBufferingTitle);
    if (!app.executor.run([p, address] { download(p, address); })) report_failure(*p, kDownloadFailed);
  });
}

SongRow row_of(const std::vector<SongRow>& rows, int row) {
  if (row < 0 || row >= static_cast<int>(rows.size())) return {};
  return rows[static_cast<std::size_t>(row)];
}

// A song on disk plays from its file with no download: a song of the songs on disk, or one this program
// downloaded before and that is still there.
std::optional<Text> local_file(AppContext& app, const SongRow& row) {
  std::optional<Text> path;
  if (!row.path.empty()) path = row.path;
  else if (!row.url_id.empty()) path = app.stores.library.local_file(LibrarySong{row.source, row, {}});
  if (path && !app.platform.files.exact_exists(*path)) path.reset();
  return path;
}

// Plays the song's file at once (paused at its place for a song put back from the last run); cover and
// lyrics come from the service as for a download.
void play_local(const PlayRef& p, const Text& path, const StartAt& at) {
  AppContext& app = p->app;
  app.platform.player.stop();
  if (!app.platform.player.play(song_of(*p, path), at)) {
    report_failure(*p, kDownloadFailed);
    return;
  }
  app.current_whole = true;
  app.current_path = path;
  if (at.paused) {
    app.paused = true;
    app.window.set_paused(true);
    follow_position(app, false);
    app.window.show_time(SongTime{at.ms, std::nullopt, 0});
  } else {
    sound_started(*p);
  }
  fetch_extras(p);
  if (!at.paused) fetch_ahead(app);  // a song put back paused fetches nothing until it plays on
}

// Nothing is set to follow the current song any more.
void forget_ahead(AppContext& app) {
  if (app.ahead_id) app.platform.player.set_next(std::nullopt);
  app.ahead_id = 0;
  app.on_ahead = nullptr;
}

}  // namespace

void play_selected(AppContext& app) {
  const int row = app.window.selected_row();
  app.queue_rows = app.rows;
  app.queue_in_view = true;
  app.queue.start(static_cast<int>(app.queue_rows.size()), row);
  app.queue_failures = 0;
  play_row(app, row, PlayOrigin::user);
}

void play_row(AppContext& app, int row, PlayOrigin origin, const StartAt& at) {
  app.lyrics.stop();
  app.window.clear_lyrics();
  app.window.set_taskbar_progress({});  // the bar of a download this one overtakes
  if (app.queue_in_view) app.window.mark_playing_row(row);
  forget_ahead(app);
  app.current_whole = false;
  auto p = std::make_shared<Play>(app, app.plays.renew(), row_of(app.queue_rows, row), ++app.plays_started, origin);
  app.playing_id = p->id;
  if (std::optional<Text> path = local_file(app, p->row)) {
    play_local(p, *path, at);
    return;
  }
  app.executor.run([p] { resolve(p); });
  // The sound system is readied while the first song downloads; later plays find it ready.
  if (!app.player_prepared) app.player_prepared = app.executor.run([&app] { app.platform.player.prepare(); });
}

// The row after the current one (by the play mode) is fetched while the current one plays, so that the
// player goes on to it without a gap. Repeat-one follows the song with its own file.
void fetch_ahead(AppContext& app) {
  if (!app.current_whole || app.ahead_id || !app.playing_id || !app.stores.settings.auto_next()) return;
  const std::optional<int> next = app.queue.peek_next();
  if (!next) return;
  const unsigned tag = ++app.plays_started;
  if (*next == app.queue.current() && !app.current_path.empty()) {
    app.ahead_id = tag;
    Song song;
    song.path = app.current_path;
    song.id = tag;
    app.platform.player.set_next(song);
    app.on_ahead = [] {};  // the same cover, lyrics and title; the marks follow the time back to the start
    return;
  }
  auto p = std::make_shared<Play>(app, app.plays.current(), row_of(app.queue_rows, *next), tag, PlayOrigin::ahead);
  app.ahead_id = p->id;
  if (std::optional<Text> path = local_file(app, p->row)) return follow_with(p, *path);
  if (!app.executor.run([p] { resolve(p); })) app.ahead_id = 0;
}

// The queue changed under the song set to follow: another is fetched.
void refetch_ahead(AppContext& app) {
  forget_ahead(app);
  fetch_ahead(app);
}

void toggle_pause(AppContext& app) {
  app.paused = !app.paused;
  follow_position(app, !app.paused && app.playing_id != 0);
  app.window.set_paused(app.paused);
  desktop_playing(app, !app.paused && app.playing_id != 0);
  if (app.paused) {
    app.platform.player.pause();
  } else {
    app.platform.player.resume();
    fetch_ahead(app);
  }
}

}  // namespace qiwa
