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
  EarlyStart(Play& p, const SongFiles& song) : p_(p), song_(song) {}
  ~EarlyStart() { end(SourceState::failed); }  // the sound ends where the bytes do; extras joined

  void written(const Mp3Sniffer& sniffer) {
    if (tried_ || !sniffer.holds_ms(kEarlyStartMs)) return;
    tried_ = true;
    AppContext& app = p_.app;
    p_.show([&] {
      app.platform.player.stop();  // the song before, before it could hold this name's file
      app.window.set_title(kBufferedTitle);
      started_ = app.platform.player.play_growing(song_.part, [growth = growth_] { return growth->load(); });
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
  const SongFiles& song_;
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

// In one step on the window's thread: unless a newer play has started, the song goes into place and
// starts playing. A play overtaken after its download still keeps the song's file, and nothing else.
bool start_playing(const Play& p, const SongFiles& song) {
  AppContext& app = p.app;
  bool played = false;
  const bool current = p.show([&] {
    app.platform.player.stop();  // it may hold an earlier file of this name open
    if (!place(app, song)) return;
    app.window.set_title(kBufferedTitle);
    played = app.platform.player.play_file(song.path);
  });
  if (!current) {
    place(app, song);
    return false;
  }
  if (!played) report_failure(p, kDownloadFailed);
  return played;
}

// A download that broke off after its sound started: the sound stops, and the play shows its failure.
void break_off(Play& p) {
  const bool shown = p.show([&] {
    p.app.platform.player.stop();
    p.app.lyrics.stop();
    p.app.window.set_title(kIdleTitle);
    p.broken = true;  // on this thread, so no cover or lyrics come after it
  });
  if (shown) p.app.window.message_box(kDownloadFailed, kOk, kDefaultCaption);
}

// Downloads the song into a part file beside its file; the sound may start before it is whole. A
// download that failed, was stopped, or is no song leaves no file and touches no earlier file of the
// song's name.
void download_and_play(Play& p, const Text& address) {
  AppContext& app = p.app;
  const SongFiles song = song_files(app.run_directory, p.request.track.title, p.request.tag);
  if (!app.downloads.begin(song.part)) return;  // the window is closing
  EarlyStart early(p, song);
  TaskbarReport progress(p);
  const Downloaded got = download_to_part(
      app.platform.downloader, app.platform.files, address, song, p.request.stop,
      [&](const Mp3Sniffer& sniffer, std::uint64_t written, std::optional<std::uint64_t> length) {
        progress.written(written, length);
        early.written(sniffer);
      });
  progress.clear();
  const bool whole = got.fetched == Fetched::whole && got.song;
  early.end(whole ? SourceState::complete : SourceState::failed);
  if (!whole) {
    app.downloads.end(song.part);
    if (got.fetched == Fetched::whole) app.platform.files.remove(song.part);  // a web page, not a song
    if (got.fetched == Fetched::stopped) return;
    if (early.started())
      break_off(p);
    else
      report_failure(p, kDownloadFailed);
    return;
  }
  if (early.started()) {
    place(app, song);  // the player reads on through its handle, whatever the file's name
    return;
  }
  if (start_playing(p, song)) show_extras(p);
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
  download_and_play(p, address);
}

}  // namespace qiwa
