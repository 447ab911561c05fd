#pragma once
// The user's settings, remembered across runs: one UTF-8 file of key=value lines (values escaped as
// text/fields.hpp has it). A key this version does not know is kept and written back, so a newer
// version's settings survive an older program. Every getter checks and clamps what it reads: a
// hand-edited or hostile value gives the default or the nearest sane value, never a crash or a window
// off every screen. Written like the library: at most once a second, merged key by key with another copy.
#include <map>
#include <mutex>
#include <set>
#include <span>

#include "app/queue.hpp"
#include "music/library_data.hpp"
#include "runtime/store.hpp"

namespace qiwa {

enum class NamePattern { title, singer_title, title_singer };  // 歌名, 歌手 - 歌名, 歌名 - 歌手

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct WindowPlace {
  int x = 0, y = 0, width = 0, height = 0;
  bool maximized = false;
  bool operator==(const WindowPlace&) const = default;
};

struct DesktopLyricsPlace {
  int x = 0, y = 0, width = 0, height = 0;
  int font_px = 36;
  bool on = false, locked = false;
  bool operator==(const DesktopLyricsPlace&) const = default;
};

// The song that was playing and where: shown paused there at the next start.
struct PlayingPlace {
  LibrarySong song;
  std::int64_t position_ms = 0;
  bool operator==(const PlayingPlace&) const = default;
};

// The place moved and shrunk as little as needed to lie whole on the work area it overlaps most (the
// first one when it overlaps none). None given: the place as it is.
WindowPlace fit_on_screens(WindowPlace place, std::span<const ScreenRect> work_areas);

class Settings final : public Store {
 public:
  static constexpr std::string_view kFileName = "QiwaMusic.ini";
  static constexpr int kMinWidth = 200, kMinHeight = 150, kMaxSide = 16384, kMaxCoordinate = 32000;

  Settings(Files& files, Clock& clock, Text path, Text default_service);

  int volume() const;  // 0 to 100; 100 by default
  void set_volume(int volume);
  PlayMode play_mode() const;
  void set_play_mode(PlayMode mode);
  // The chosen catalogue as its index among catalogues(); -1 when none was chosen.
  int catalogue() const;
  void set_catalogue(int index);
  std::optional<WindowPlace> window_place() const;  // none until one was kept
  void set_window_place(const WindowPlace& place);
  std::optional<PlayingPlace> playing() const;
  void set_playing(const std::optional<PlayingPlace>& playing);
  DesktopLyricsPlace desktop_lyrics() const;
  void set_desktop_lyrics(const DesktopLyricsPlace& place);
  // The folder songs are downloaded to; empty: the program's own.
  Text download_folder() const;
  void set_download_folder(std::string_view folder);
  NamePattern name_pattern() const;
  void set_name_pattern(NamePattern pattern);
  bool save_lrc() const;
  void set_save_lrc(bool on);
  // host[:port] of the music service.
  Text service() const;
  void set_service(std::string_view host);
  int quality_kbps() const;  // 128, 192 or 320
  void set_quality_kbps(int kbps);
  bool level_loudness() const;
  void set_level_loudness(bool on);
  bool close_to_tray() const;
  void set_close_to_tray(bool on);
  // When a song ends, the queue plays on by the play mode (on by default); off, the sound stops there.
  bool auto_next() const;
  void set_auto_next(bool on);

  // The raw value of a key, for what has no getter yet; nullopt when absent.
  std::optional<Text> value(std::string_view key) const;
  void set_value(std::string_view key, std::string_view value);

 protected:
  StoreRead absorb(std::string_view bytes) override;
  Text encode() override;
  void written(bool ok) override;

 private:
  int number(std::string_view key, int low, int high, int fallback) const;
  bool flag(std::string_view key, bool fallback) const;
  void set_number(std::string_view key, long long n) { set_value(key, std::to_string(n)); }
  void set_flag(std::string_view key, bool on) { set_value(key, on ? "1" : "0"); }
  std::optional<Text> get(std::string_view key) const;  // under the lock

  const Text default_service_;
  mutable std::mutex mutex_;
  std::map<Text, Text, std::less<>> values_;
  std::set<Text, std::less<>> changed_, writing_;  // keys this copy set since its last write; in the write now
};

}  // namespace qiwa
