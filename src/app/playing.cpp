#include "app/playing.hpp"

#include <atomic>
#include <memory>

#include "music/catalogue.hpp"
#include "music/file_name.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

// Audio in the part file before the sound starts from it: enough that the first frames never wait.
constexpr std::uint64_t kEarlyStartMs = 1000;

// The songs' folder the settings name, else the program's own.
Text songs_folder(const AppContext& app) {
  Text folder = app.stores.settings.download_folder();
  return folder.empty() ? app.run_directory : folder;
}

// The song's file name, without ".mp3", as the settings' pattern has it.
Text song_name(const Track& track, NamePattern pattern) {
  if (track.singer.empty()) return track.title;
  switch (pattern) {
    case NamePattern::singer_title: return track.singer + " - " + track.title;
    case NamePattern::title_singer: return track.title + " - " + track.singer;
    case NamePattern::title: break;
  }
  return track.title;
}

// One play, from the click to the end of its download, shared by its workers and the steps they post.
struct Play {
  Play(AppContext& a, std::stop_token s, Track t, unsigned n)
      : app(a), service(a.service), stop(std::move(s)), track(std::move(t)), id(n), folder(songs_folder(a)),
        name(song_name(track, a.stores.settings.name_pattern())) {}

  AppContext& app;
  const ServiceClient service;  // as it was at the click: the settings may change it meanwhile
  const std::stop_token stop;   // raised when a newer play starts, or the window closes
  const Track track;
  const unsigned id;        // its song's at the player; tells its part files from another play's
  const Text folder, name;  // where its song goes, as the settings were at the click
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

// What played stops and the play's song starts, unpaused, from `path` (growing while `growing` says
// so). The media key is held while a song is loaded, and left to other programs otherwise.
bool start_sound(Play& p, const Text& path, std::function<SourceState()> growing) {
  AppContext& app = p.app;
  Song song;
  song.path = path;
  song.id = p.id;
  song.growing = std::move(growing);
  const bool playing = app.platform.player.play(song);
  app.sounding_song = playing ? p.id : 0;
  app.paused = false;
  app.window.set_paused(false);
  app.window.hold_media_key(playing);
  return playing;
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
void start_early(const PlayRef& p, const Text& part) {
  p->app.window.set_title(kBufferedTitle);
  p->started = start_sound(*p, part, [growth = p->growth] { return growth->load(); });
  if (p->started) fetch_extras(p);
}

// A whole song this program saved before plays from its file, before the service is asked anything.
void play_saved(const PlayRef& p, const Text& path) {
  if (!start_sound(*p, path, {})) {
    report_failure(*p, kDownloadFailed);
    return;
  }
  p->app.window.set_title(Text(kPlayingTitle) + p->track.title);
  fetch_extras(p);
}

// The part file takes the first free name of the song, never a file's that is there, unless the window
// is closing (then it goes).
bool place(Play& p, const Text& part) {
  Files& files = p.app.platform.files;
  if (p.app.downloads.place(part, [&] { return put_in_place(files, part, p.folder, p.name); })) return true;
  files.remove(part);
  return false;
}

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  p.app.platform.player.stop();
  p.app.window.hold_media_key(false);
  p.app.lyrics.stop();
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
    place(play, part);  // the player reads on through its handle, whatever the file's name
    return;
  }
  if (!start_sound(play, part, {})) return refuse(play, part);
  place(play, part);
  app.window.set_title(kBufferedTitle);
  fetch_extras(p);
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

// Makes the play's part file beside the song's name and registers it for the exit's clean-up in the same
// step, once it exists; nothing when the window is closing (`closing`) or the folder takes no new file.
std::optional<PartFile> begin_part(const Play& p, bool& closing) {
  std::optional<PartFile> part;
  closing = !p.app.downloads.begin([&]() -> std::optional<Text> {
    part = create_part_file(p.app.platform.files, song_file_path(p.folder, p.name), p.id);
    return part ? std::optional<Text>(part->path) : std::nullopt;
  });
  return part;
}

// Downloads the song into a part file beside its name, after the program's tag. A download that failed,
// was stopped, or is no whole song leaves no file and touches no other file.
void download(const PlayRef& p, const Text& address) {
  AppContext& app = p->app;
  bool closing = false;
  std::optional<PartFile> part = begin_part(*p, closing);
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

// Before the service is asked: a whole song of this track saved before plays from its file, offline too.
void look_on_disk(const PlayRef& p) {
  const SongPlace found = find_song_place(p->app.platform.files, p->folder, p->name, p->track);
  if (!found.saved.empty()) return when_current(p, [p, path = found.saved] { play_saved(p, path); });
  if (found.free.empty()) return when_current(p, [p] { report_failure(*p, kDownloadFailed); });  // all taken
  resolve(p);
}

Track selected_track(const AppContext& app) {
  const int row = app.window.selected_row();
  if (row < 0 || row >= static_cast<int>(app.rows.size())) return {};
  const SongRow& r = app.rows[static_cast<std::size_t>(row)];
  return Track{r.title, r.url_id, r.pic_id, r.lyric_id, r.source, r.singer, r.album};
}

}  // namespace

void play_selected(AppContext& app) {
  app.lyrics.stop();
  app.window.clear_lyrics();
  app.window.set_taskbar_progress({});  // the bar of a download this click overtakes
  auto p = std::make_shared<Play>(app, app.plays.renew(), selected_track(app), ++app.plays_started);
  app.executor.run([p] { look_on_disk(p); });
  // The sound system is readied while the first song downloads; later plays find it ready.
  if (!app.player_prepared) app.player_prepared = app.executor.run([&app] { app.platform.player.prepare(); });
}

void on_player_event(AppContext& app, const PlayerEvent& event) {
  if (event.kind == PlayerEvent::Kind::open_failed) app.unopened_song = event.id;
  const bool unloaded =
      event.kind == PlayerEvent::Kind::open_failed || event.kind == PlayerEvent::Kind::drained;
  // A song started since has the key; an older song's event, posted before it, leaves it so.
  if (unloaded && event.id == app.sounding_song) app.window.hold_media_key(false);
}

void listen_to_player(AppContext& app) {
  app.platform.player.set_listener([&app](const PlayerEvent& event) {
    app.executor.post([&app, event] { on_player_event(app, event); });
  });
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
