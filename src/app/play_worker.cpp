#include "app/play_worker.hpp"

#include <atomic>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "music/catalogue.hpp"

namespace qiwa {
namespace {

// Audio in the part file before the sound starts from it: enough that the first frames never wait.
constexpr std::uint64_t kEarlyStartMs = 1000;

using Growth = std::shared_ptr<std::atomic<SourceState>>;

struct Play {
  AppContext& app;
  const PlayRequest& request;
  std::atomic<bool> broken{false};  // its download failed after its sound had started

  // False once a newer play started, the window is closing, or the song broke off: this one then
  // shows nothing more.
  bool current() const { return !request.stop.stop_requested() && !broken; }

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

// In one step on the window's thread, unless a newer play has started: the box, and with `idle` the idle
// title before it. A play superseded meanwhile shows nothing.
void report(const Play& p, const char* message, bool idle) {
  p.show([&] {
    if (idle) p.app.window.set_title(kIdleTitle);
    p.app.window.message_box(message, kOk, kDefaultCaption);
  });
}

// On the window's thread: the song before stops and `start` starts the new one. 按钮4 reads "暂停播放"
// for a song that starts, and the media key is held only while a song is loaded.
bool switch_sound(AppContext& app, const std::function<bool()>& start) {
  app.platform.player.stop();
  const bool playing = start();
  if (playing) app.window.set_text(Control::按钮4, kPauseCaption);
  app.window.hold_media_key(playing);
  return playing;
}

// The part file takes the first of the title's names that no file has, unless the window is closing
// (then it goes).
void place(AppContext& app, const Text& part, const Text& title) {
  Files& files = app.platform.files;
  if (!app.downloads.place(part, [&] { return put_in_place(files, part, app.run_directory, title); }))
    files.remove(part);
}

void show_cover(const Play& p) {
  Bytes image = fetch_cover(p.app.service, p.request.track);
  p.show([&] { p.app.window.set_picture(image); });
}

void show_lyrics(const Play& p) {
  Lyrics lyrics = fetch_lyrics(p.app.service, p.request.track);
  if (lyrics.lines.empty()) return;
  p.show([&] {
    p.app.window.append_text(Control::编辑框2, lyrics.lines);
    p.app.lyrics.follow(std::move(lyrics.cues));
  });
}

void show_playing(const Play& p) {
  p.show([&] { p.app.window.set_title(Text(kPlayingTitle) + p.request.track.title); });
}

// Cover, lyrics and then the playing title, in the order of a song played whole.
void show_extras(const Play& p) {
  show_cover(p);
  show_lyrics(p);
  show_playing(p);
}

// The sound of a song that is still downloading: it starts from the part file once about a second of
// whole frames is there, and the cover and the lyrics are fetched beside the rest of the download.
class EarlyStart {
 public:
  EarlyStart(Play& p, const Text& part) : p_(p), part_(part) {}
  ~EarlyStart() { end(SourceState::failed); }  // the sound ends where the bytes do; extras joined

  void written(const Mp3Sniffer& sniffer) {
    if (tried_ || !sniffer.holds_ms(kEarlyStartMs)) return;
    tried_ = true;
    AppContext& app = p_.app;
    p_.show([&] {
      app.window.set_title(kBufferedTitle);
      started_ = switch_sound(app, [&] {
        return app.platform.player.play_growing(part_, [growth = growth_] { return growth->load(); });
      });
    });
    if (!started_) return;
    try {
      extras_ = std::jthread([this] { show_extras(p_); });
    } catch (const std::system_error&) {
      show_playing(p_);  // no thread for them: the play goes on without cover and lyrics
    }
  }
  bool started() const { return started_; }
  // The download is over: `complete` lets the player play to the song's end; `failed` ends the sound
  // where the bytes end.
  void end(SourceState state) {
    SourceState growing = SourceState::growing;
    growth_->compare_exchange_strong(growing, state);
  }

 private:
  Play& p_;
  const Text& part_;
  Growth growth_ = std::make_shared<std::atomic<SourceState>>(SourceState::growing);
  bool tried_ = false;
  bool started_ = false;
  std::jthread extras_;  // last: joined before anything it uses goes
};

// The download's progress on the taskbar button, shown again only when the whole percent changes.
class TaskbarReport {
 public:
  explicit TaskbarReport(const Play& p) : p_(p) {}
  void written(std::uint64_t bytes, std::optional<std::uint64_t> length) {
    TaskbarProgress now;
    now.state = length && *length > 0 ? TaskbarProgress::State::known : TaskbarProgress::State::unknown;
    const int percent = now.state == TaskbarProgress::State::known ? static_cast<int>(bytes * 100 / *length) : -1;
    if (percent == shown_percent_ && shown_) return;
    if (now.state == TaskbarProgress::State::known) now.done = bytes, now.total = *length;
    shown_percent_ = percent;
    shown_ = p_.show([&] { p_.app.window.set_taskbar_progress(now); });
  }
  // The download is over, whichever way: the bar goes (a newer play has its own).
  void clear() {
    if (shown_) p_.show([&] { p_.app.window.set_taskbar_progress({}); });
  }

 private:
  const Play& p_;
  int shown_percent_ = -2;
  bool shown_ = false;
};

// In one step on the window's thread, unless a newer play has started: the whole part file starts
// playing, or the failure shows. Only a file the player opened is ever put in place.
bool start_playing(const Play& p, const Text& part) {
  AppContext& app = p.app;
  bool played = false;
  p.show([&] {
    played = switch_sound(app, [&] { return app.platform.player.play(part, 1); });
    app.window.set_title(played ? kBufferedTitle : kIdleTitle);
    if (!played) app.window.message_box(kDownloadFailed, kOk, kDefaultCaption);
  });
  return played;
}

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  p.show([&] {
    switch_sound(p.app, [] { return false; });
    p.app.lyrics.stop();
    p.app.window.set_title(kIdleTitle);
    p.broken = true;  // on this thread, so no cover or lyrics come after it
    p.app.window.message_box(kDownloadFailed, kOk, kDefaultCaption);
  });
}

// Makes this play's part file beside the song's free name, and registers it once it exists; nothing when
// the window is closing or the folder takes no new file.
std::optional<PartFile> begin_part(const Play& p, const Text& free, bool& closing) {
  std::optional<PartFile> part;
  closing = !p.app.downloads.begin([&]() -> std::optional<Text> {
    part = create_part_file(p.app.platform.files, free, p.request.tag);
    return part ? std::optional<Text>(part->path) : std::nullopt;
  });
  return part;
}

// Downloads the song into a part file beside its free name; the sound may start before it is whole. A
// download that failed, was stopped or is no whole song leaves no file and touches no other file.
void download_and_play(Play& p, const Text& address, const Text& free) {
  AppContext& app = p.app;
  bool closing = false;
  std::optional<PartFile> part = begin_part(p, free, closing);
  if (closing) return;
  if (!part) return report(p, kDownloadFailed, true);
  const Text path = part->path;
  EarlyStart early(p, path);
  TaskbarReport progress(p);
  const Fetched got = download_to_part(
      app.platform.downloader, app.platform.files, address, *part, song_tag(p.request.track), p.request.stop,
      [&](const Mp3Sniffer& sniffer, std::uint64_t written, std::optional<std::uint64_t> length) {
        progress.written(written, length);
        early.written(sniffer);
      });
  progress.clear();
  early.end(got == Fetched::whole ? SourceState::complete : SourceState::failed);
  if (got != Fetched::whole) {
    app.downloads.end(path);  // the part file is gone
    if (got == Fetched::stopped) return;
    return early.started() ? break_off(p) : report(p, kDownloadFailed, true);
  }
  if (!early.started() && !start_playing(p, path)) {
    app.downloads.end(path);
    app.platform.files.remove(path);
    return;
  }
  place(app, path, p.request.track.title);  // the player reads on through its handle, whatever the name
  if (!early.started()) show_extras(p);
}

// A whole song saved before plays from its file, before anything is asked of the service.
void play_saved(const Play& p, const Text& path) {
  AppContext& app = p.app;
  bool played = false;
  p.show([&] {
    played = switch_sound(app, [&] { return app.platform.player.play(path, 1); });
    app.window.set_title(played ? Text(kPlayingTitle) + p.request.track.title : Text(kIdleTitle));
    if (!played) app.window.message_box(kDownloadFailed, kOk, kDefaultCaption);
  });
  if (!played) return;
  show_cover(p);
  show_lyrics(p);
}

}  // namespace

void run_play(AppContext& app, const PlayRequest& request) {
  Play p{app, request};
  const SongPlace found = find_song_place(app.platform.files, app.run_directory, request.track);
  if (!found.saved.empty()) return play_saved(p, found.saved);
  if (found.free.empty()) return report(p, kDownloadFailed, true);  // every name is taken
  const Catalogue* catalogue = catalogue_named(request.track.source);
  const Text address = resolve_track(app.service, request.track, catalogue && catalogue->ask_m500);
  if (address.empty()) return report(p, kParseFailed, false);
  if (!p.show([&] { app.window.set_title(kBufferingTitle); })) return;
  download_and_play(p, address, found.free);
}

}  // namespace qiwa
