#include "app/playing.hpp"

#include <atomic>
#include <memory>

#include "app/desktop.hpp"
#include "app/keeping.hpp"
#include "app/levelling.hpp"
#include "app/listening.hpp"
#include "app/lists.hpp"
#include "app/song_files.hpp"
#include "app/tagging.hpp"
#include "music/catalogue.hpp"
#include "music/file_name.hpp"
#include "music/id3_tag.hpp"
#include "music/lrc.hpp"
#include "music/track.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

// Audio in the part file before the sound starts from it: enough that the first frames never wait.
constexpr std::uint64_t kEarlyStartMs = 1000;

// One play, from the click to the end of its download, shared by its workers and the steps they post.
struct Play {
  Play(AppContext& a, std::stop_token s, SongRow r, unsigned n, PlayOrigin o, StartAt at = {})
      : app(a), service(a.service), stop(std::move(s)), row(std::move(r)),
        track(track_of(row)), origin(o),
        start(at), id(n), folder(songs_folder(a)), name(song_name(track, a.stores.settings.name_pattern())),
        keeping(std::make_shared<SongKeeping>(track, a.stores.settings.save_lrc(), a.levels.current())),
        quality(a.stores.settings.quality_kbps()) {}

  AppContext& app;
  const ServiceClient service;  // as it was at the click: the settings may change it meanwhile
  const std::stop_token stop;   // raised when a newer play starts, or the window closes
  const SongRow row;
  const Track track;
  const PlayOrigin origin;
  const StartAt start;      // where its sound begins (a song put back from the last run: paused there)
  const unsigned id;        // its song's at the player; tells its part files from another play's
  const Text folder, name;  // where its song goes, as the settings were at the click
  const std::shared_ptr<SongKeeping> keeping;  // its whole tag, once the song is whole and the extras known
  const int quality;        // the bit rate asked for, kbps
  int kbps = 0;             // the bit rate the service says it gave; 0: it did not say (set before the download)
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

// "当前播放音乐:晴天 [320k]": the bit rate when the service told it.
Text playing_title(const Play& p) {
  Text title = Text(kPlayingTitle) + p.track.title;
  if (p.kbps > 0) title += " [" + to_text(static_cast<long long>(p.kbps)) + "k]";
  return title;
}

Song song_of(const Play& p, const Text& path, std::function<SourceState()> growing = {}) {
  Song song;
  song.path = path;
  song.id = p.id;
  song.growing = std::move(growing);
  apply_gain(p.app, song);
  return song;
}

// What played stops and the play's song starts from `path` (growing while `growing` says so), unpaused
// unless the play begins paused. The media key is held while a song is loaded, and left to other
// programs otherwise.
bool start_sound(Play& p, const Text& path, std::function<SourceState()> growing) {
  AppContext& app = p.app;
  const bool playing = app.platform.player.play(song_of(p, path, std::move(growing)), p.start);
  app.sounding_song = playing ? p.id : 0;
  app.paused = playing && p.start.paused;
  app.window.set_paused(app.paused);
  app.window.hold_media_key(playing);
  if (!playing) return false;
  app.queue_failures = 0;
  follow_position(app, !app.paused);
  if (app.paused) app.window.show_time(SongTime{p.start.ms, std::nullopt, 0});
  desktop_playing(app, !app.paused);
  record_played(app);
  return true;
}

// What the tag of a song on disk carries: shown without asking the service (also offline).
SongExtras extras_in_file(Files& files, const Text& path) {
  SongExtras extras;
  if (path.empty()) return extras;
  if (std::optional<SongTag> tag = read_file_tag(files, path, kMaxWholeTagRead)) {
    extras.cover = std::move(tag->cover);
    extras.lyrics = lyrics_of_tag(*tag);
  }
  return extras;
}

// Cover, lyrics and then the playing title, in the order of a song played whole; each shown as it comes.
// The fetch that serves the tag too (`records`) hands them on; extras fetched before are shown again. A
// song on disk (`file`) shows its tag's cover and lyrics; the service is asked for what it lacks.
void show_extras(const PlayRef& p, bool records, const Text& file) {
  AppContext& app = p->app;
  const std::optional<SongExtras> known = p->keeping->extras();
  SongExtras extras = known ? SongExtras{} : extras_in_file(app.platform.files, file);
  if (known) extras.cover = known->cover;
  else if (extras.cover.empty()) extras.cover = fetch_cover(p->service, p->track);
  when_current(p, [&app, row = p->row, cover = extras.cover] {
    app.window.show_cover(cover);
    overlay_song(app, row, cover);
  });
  if (known) extras.translation = known->translation;
  if (known) extras.lyrics = known->lyrics;
  else if (extras.lyrics.lines.empty()) extras.lyrics = fetch_lyrics(p->service, p->track, &extras.translation);
  when_current(p, [&app, row = p->row, lyrics = extras.lyrics, translation = extras.translation]() mutable {
    desktop_song(app, lyrics, translation, row);
    if (lyrics.lines.empty()) return;
    app.window.add_lyrics(lyrics.lines);
    app.lyrics.follow(std::move(lyrics.cues), app.lyrics_nudge_ms);
  });
  when_current(p, [&app, title = playing_title(*p)] { app.window.set_title(title); });
  if (records && !known) p->keeping->fetched(app.platform, std::move(extras));
}

void fetch_extras(const PlayRef& p, const Text& file = {}) {
  const bool records = p->keeping->begin_fetch();
  if (!p->app.executor.run([p, records, file] { show_extras(p, records, file); }))
    p->app.window.set_title(playing_title(*p));  // no worker: no cover and lyrics
}

// The song is whole under its name: its tag is completed once cover and lyrics are known, fetched now
// (without showing them) when the play has not begun to.
void keep_whole(const PlayRef& p, const Text& path) {
  AppContext& app = p->app;
  p->keeping->whole(app.platform, path);
  if (!p->keeping->begin_fetch()) return;
  app.executor.run([p] {
    SongExtras extras;
    extras.cover = fetch_cover(p->service, p->track);
    extras.lyrics = fetch_lyrics(p->service, p->track, &extras.translation);
    p->keeping->fetched(p->app.platform, std::move(extras));
  });
}

// About a second of the song is in the part file: the sound starts from it while the rest comes.
void start_early(const PlayRef& p, const Text& part) {
  p->app.window.set_title(kBufferedTitle);
  p->started = start_sound(*p, part, [growth = p->growth] { return growth->load(); });
  if (p->started) fetch_extras(p);
}

// The player follows the current song with this one's file, whole on disk; once it took over, its cover,
// lyrics and title show.
void follow_with(const PlayRef& p, const Text& path) {
  AppContext& app = p->app;
  if (app.ahead_id != p->id) return;  // the queue changed meanwhile
  app.platform.player.set_next(song_of(*p, path));
  app.on_ahead = [p, path] {
    AppContext& a = p->app;
    a.sounding_song = p->id;
    a.current_path = path;
    a.lyrics.stop();
    a.window.clear_lyrics();
    fetch_extras(p, path);
    keep_whole(p, path);
  };
}

// A whole song on disk plays from its file, before the service is asked anything; one fetched ahead
// is set to follow the song playing.
void play_saved(const PlayRef& p, const Text& path) {
  AppContext& app = p->app;
  if (p->origin == PlayOrigin::ahead) return follow_with(p, path);
  if (!start_sound(*p, path, {})) {
    report_failure(*p, kDownloadFailed);
    return;
  }
  app.current_whole = true;
  app.current_path = path;
  app.window.set_title(playing_title(*p));
  fetch_extras(p, path);
  keep_whole(p, path);
  if (!app.paused) fetch_ahead(app);  // a song put back paused fetches nothing until it plays on
}

// The part file takes the first free name of the song, never a file's that is there, unless the window
// is closing (then it goes). The song joins the songs on disk. Its path; empty when it was not placed.
Text place(Play& p, const Text& part) { return place_download(p.app, part, p.folder, p.name, p.row); }

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  p.app.platform.player.stop();
  p.app.window.hold_media_key(false);
  p.app.lyrics.stop();
  follow_position(p.app, false);
  desktop_between_songs(p.app);
  p.broken = true;  // nothing it still has on its way is shown
  report_failure(p, kDownloadFailed);
}

// A whole download the player could not open goes: no file stays that does not play.
void refuse(Play& p, const Text& part) {
  p.app.downloads.end(part);
  p.app.platform.files.remove(part);
  if (p.current()) report_failure(p, kDownloadFailed);
}

// The download is over, whichever way; on the window's thread, current or not: a play overtaken after its
// whole download still keeps the song's file, and nothing else.
void finish(const PlayRef& p, Fetched got, const Text& part) {
  Play& play = *p;
  AppContext& app = play.app;
  if (play.progress_shown && play.current()) app.window.set_taskbar_progress({});
  if (play.origin == PlayOrigin::ahead) {
    if (got != Fetched::whole) {
      app.downloads.end(part);
      if (play.current()) report_failure(play, kDownloadFailed);
      return;
    }
    const Text placed = place(play, part);
    if (placed.empty()) return;
    keep_whole(p, placed);
    if (play.current()) follow_with(p, placed);
    return;
  }
  if (got != Fetched::whole) {
    app.downloads.end(part);  // download_to_part removed it
    if (got == Fetched::stopped || !play.current()) return;
    if (play.started)
      break_off(play);
    else
      report_failure(play, kDownloadFailed);
    return;
  }
  if (play.started && app.unopened_song == play.id) return refuse(play, part);  // the player told it failed
  if (play.started || !play.current()) {
    const Text placed = place(play, part);  // the player reads on through its handle, whatever the file's name
    if (!placed.empty()) keep_whole(p, placed);
    if (!play.current() || placed.empty()) return;
    app.current_whole = true;
    app.current_path = placed;
    fetch_ahead(app);
    return;
  }
  if (!start_sound(play, part, {})) return refuse(play, part);
  const Text placed = place(play, part);
  app.current_whole = !placed.empty();
  app.current_path = placed;
  app.window.set_title(kBufferedTitle);
  fetch_extras(p);
  if (!placed.empty()) keep_whole(p, placed);
  fetch_ahead(app);
}

// What the download worker tells the window's thread as the pieces come: the taskbar's progress when
// its whole percent changes, and once that a second of the song is there.
class Progress {
 public:
  Progress(PlayRef p, Text part) : p_(std::move(p)), part_(std::move(part)) {}
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
      when_current(p_, [p = p_, part = part_] { start_early(p, part); });
    }
  }

 private:
  PlayRef p_;
  Text part_;
  int shown_percent_ = -2;
  bool early_ = false;
};

// Downloads the song into a part file beside its name, after the program's tag. A download that failed,
// was stopped, or is no whole song leaves no file and touches no other file.
void download(const PlayRef& p, const Text& address) {
  AppContext& app = p->app;
  bool closing = false;
  std::optional<PartFile> part = begin_part_file(app, p->folder, p->name, p->id, closing);
  if (closing) return;
  if (!part) return when_current(p, [p] { report_failure(*p, kDownloadFailed); });
  Progress progress(p, part->path);
  const Fetched got = download_to_part(
      app.platform.downloader, app.platform.files, address, *part, song_tag(p->track), p->stop,
      [&](const Mp3Sniffer& sniffer, std::uint64_t written, std::optional<std::uint64_t> length) {
        progress.written(sniffer, written, length);
      });
  // The player learns at once where the song ends; what the user sees follows on the window's thread.
  p->growth->store(got == Fetched::whole ? SourceState::complete : SourceState::failed);
  app.executor.post([p, got, path = part->path] { finish(p, got, path); });
}

// The song's address at the service, with the catalogue its row came from.
void resolve(const PlayRef& p) {
  const Catalogue* catalogue = catalogue_named(p->track.source);
  SongAddress address = resolve_track(p->service, p->track, p->quality, catalogue && catalogue->ask_m500);
  when_current(p, [p, address = std::move(address)] {
    AppContext& app = p->app;
    if (address.url.empty()) {
      report_failure(*p, kParseFailed, false);
      return;
    }
    if (p->origin != PlayOrigin::ahead) app.window.set_title(kBufferingTitle);
    p->kbps = address.kbps;
    if (!app.executor.run([p, url = address.url] { download(p, url); })) report_failure(*p, kDownloadFailed);
  });
}

// A row of the songs on disk names its file; a song downloaded before is in the library's songs on disk.
std::optional<Text> local_file(AppContext& app, const SongRow& row) {
  std::optional<Text> path;
  if (!row.path.empty()) path = row.path;
  else if (!row.url_id.empty()) path = app.stores.library.local_file(LibrarySong{row.source, row, {}});
  if (path && !app.platform.files.exact_exists(*path)) path.reset();
  return path;
}

// Before the service is asked: a song on disk, or a whole song of this track saved before under its name,
// plays from its file, offline too.
void look_on_disk(const PlayRef& p) {
  if (std::optional<Text> path = local_file(p->app, p->row))
    return when_current(p, [p, path = *path] { play_saved(p, path); });
  const SongPlace found = find_song_place(p->app.platform.files, p->folder, p->name, p->track);
  if (!found.saved.empty()) return when_current(p, [p, path = found.saved] { play_saved(p, path); });
  if (found.free.empty()) return when_current(p, [p] { report_failure(*p, kDownloadFailed); });  // all taken
  resolve(p);
}

SongRow row_of(const std::vector<SongRow>& rows, int row) {
  if (row < 0 || row >= static_cast<int>(rows.size())) return {};
  return rows[static_cast<std::size_t>(row)];
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
  app.current_path.clear();
  auto p = std::make_shared<Play>(app, app.plays.renew(), row_of(app.queue_rows, row), ++app.plays_started, origin,
                                  at);
  app.playing_id = p->id;
  app.executor.run([p] { look_on_disk(p); });
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
    Song again;
    again.path = app.current_path;
    again.id = tag;
    apply_gain(app, again);
    app.platform.player.set_next(again);
    app.on_ahead = [&app, tag] { app.sounding_song = tag; };  // the same cover, lyrics and title
    return;
  }
  auto p = std::make_shared<Play>(app, app.plays.current(), row_of(app.queue_rows, *next), tag, PlayOrigin::ahead);
  app.ahead_id = p->id;
  if (!app.executor.run([p] { look_on_disk(p); })) app.ahead_id = 0;
}

// The queue changed under the song set to follow: another is fetched.
void refetch_ahead(AppContext& app) {
  forget_ahead(app);
  fetch_ahead(app);
}

void on_player_event(AppContext& app, const PlayerEvent& event) {
  if (event.kind == PlayerEvent::Kind::open_failed) app.unopened_song = event.id;
  const bool unloaded =
      event.kind == PlayerEvent::Kind::open_failed || event.kind == PlayerEvent::Kind::drained;
  // A song started since has the key; an older song's event, posted before it, leaves it so.
  if (unloaded && event.id == app.sounding_song) app.window.hold_media_key(false);
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
