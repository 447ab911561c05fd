#pragma once
// The main window as the application sees it: what its controls are for, what the user set in them, and
// what the application shows there. Called on the window's thread only; workers reach it by posting work
// there (runtime/executor.hpp).
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "app/desktop_lyrics_window.hpp"
#include "app/media_overlay.hpp"
#include "app/settings_form.hpp"
#include "music/song.hpp"
#include "runtime/types.hpp"

namespace qiwa {

// The controls by their role, in the order the window makes them.
enum class Role {
  delete_on_exit,  // check box: delete this run's downloads at exit
  lyrics,          // the lyrics box
  cover,           // the song's picture
  pause_button,
  play_button,
  more_button,     // the next page of hits
  results,         // the list of hits
  catalogue,       // the drop-down of catalogues
  search_button,
  search_box
};
inline constexpr std::size_t kRoleCount = 10;

// The controls of the strip below them.
enum class StripRole {
  previous,    // the song before
  play_pause,  // plays or pauses, as the pause button does
  next,        // the song after
  mode,        // the play mode, cycled by a click
  lists,       // which list the results show
  volume,      // a track bar, 0 to 100
  seek,        // a track bar over the song; the part not yet downloaded is marked apart
  time         // "elapsed / total"
};
inline constexpr std::size_t kStripRoleCount = 8;

// The lists the results can show.
enum class ListKind { search, favourites, recent, local };
inline constexpr std::size_t kListKindCount = 4;

// Where the song is, for the strip.
struct SongTime {
  std::int64_t elapsed_ms = 0;
  std::optional<std::int64_t> duration_ms;  // none while it is not known
  std::int64_t available_ms = 0;            // how far what has arrived reaches
  bool operator==(const SongTime&) const = default;
};

// User and lifecycle events the window reports to the application.
enum class WindowEvent {
  created,         // window and controls exist, not yet shown
  shown,           // the window is on the screen
  destroying,      // about to be destroyed
  session_ending,  // Windows logs off or shuts down: the process ends without a destroying
  search,          // the search button, or Enter in the search box
  load_more,       // the more button
  play,            // the play button, the list menu's item, or Enter on a row
  download_rows,   // "下载选中" in the list's menu: the selected rows' songs, without playing them
  pause,           // the pause button, the media play/pause key, the taskbar's pause button
  list_menu,       // a right click on the results
  settings,        // "设置…" in the window's menu or the results' menu
  previous,        // the strip's previous button, Ctrl+Left, the media key
  next,            // the strip's next button, Ctrl+Right, the media key
  stop,            // the media stop key
  seek,            // the seek bar let go, or Left/Right: seek_target() says where
  volume,          // the volume bar moved, Up/Down, the wheel over it: volume() says where
  mode,            // the mode button
  list_chosen,     // a list tab: chosen_list() says which
  favourite,       // "收藏"/"取消收藏" in the list's menu, Ctrl+D: for the selected rows
  remove_rows,     // "从列表删除" in the list's menu
  desktop_lyrics,  // "桌面歌词" in a menu, Ctrl+Alt+L: on or off
  desktop_lock,    // "锁定桌面歌词" in the tray's and the system menu: clicks go through it, or not
  lyrics_earlier,  // "歌词提前" in the list's menu: the song's lines 0.5 s sooner
  lyrics_later,    // "歌词推后": 0.5 s later
  translation      // "桌面歌词翻译": the translation under the desktop line, or not
};

// What a multi-line edit box shows: its selection (UTF-16 positions) and its first visible line.
struct EditView {
  int selection_start = 0, selection_end = 0, first_line = 0;
  bool operator==(const EditView&) const = default;
};

// The progress bar of the window's taskbar button.
struct TaskbarProgress {
  enum class State { hidden, unknown, known } state = State::hidden;  // unknown: no end to show
  std::uint64_t done = 0, total = 0;
  bool operator==(const TaskbarProgress&) const = default;
};

// The window's timers, each running only while its work needs it.
enum class Timer {
  lyrics,    // the line being sung, while a song with timed lyrics plays
  stores,    // the stores' batched writes, while they have changes
  position   // the strip's time, while a song plays
};
inline constexpr std::size_t kTimerCount = 3;

// A point on the virtual screen, in pixels.
struct ScreenPoint {
  int x = 0, y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

enum MessageBoxButtons { kOk = 0, kOkCancel = 1, kYesNoCancel = 3 };
// What message_box answers for those buttons.
enum MessageBoxAnswer { kAnswerOk = 0, kAnswerCancel = 1, kAnswerYes = 5, kAnswerNo = 6 };

// What the list's menu offers beside the design's item, for the rows selected.
struct ListMenu {
  bool any_selected = false;
  bool all_favourites = false;  // "取消收藏" instead of "收藏"
  bool removable = false;       // a list of the library's: "从列表删除"
  bool song_lyrics = false;     // a song's lines show: they can be moved earlier or later
  bool translation = false;     // "桌面歌词翻译" is ticked
};
inline constexpr const char* kDefaultCaption = "信息：";

class MainWindow {
 public:
  virtual ~MainWindow() = default;

  // Where the window's top left corner is (its normal place, also when minimised); nothing before it
  // is made or once it is gone.
  virtual std::optional<ScreenPoint> position() = 0;
  // Moves the window there, kept whole on a monitor that is there now.
  virtual void move_to(ScreenPoint at) = 0;

  // What the user set.
  virtual Text search_words() = 0;
  virtual int chosen_catalogue() = 0;  // index into catalogues(), -1 when none is chosen
  virtual bool delete_on_exit() = 0;
  virtual int selected_row() = 0;      // first selected row of the results, -1 when none
  virtual std::vector<int> selected_rows() = 0;  // every selected row, in order
  // The strip's settings, as the user left them.
  virtual std::int64_t seek_target() = 0;  // ms, of the last seek
  virtual int volume() = 0;
  virtual ListKind chosen_list() = 0;
  // What the program puts back from the last run.
  virtual void set_search_words(std::string_view words) = 0;
  virtual void choose_catalogue(int index) = 0;

  // The results: the rows shown, in order, with their hidden ids.
  virtual void clear_rows() = 0;
  virtual void add_rows(std::span<const SongRow> rows) = 0;
  // The row's title cell shows this text (its title with the state of its download).
  virtual void show_row_title(int row, std::string_view text) = 0;

  // The lyrics box.
  virtual void clear_lyrics() = 0;
  // Caret to the end, scroll it into view, insert there.
  virtual void add_lyrics(std::string_view lines) = 0;
  // Selects the 0-based line (lines end in CR LF) and scrolls it about a third from the top.
  virtual void mark_lyrics_line(int line) = 0;
  virtual EditView lyrics_view() = 0;

  // Image file bytes; empty or undecodable bytes leave the picture empty.
  virtual void show_cover(const Bytes& image) = 0;
  virtual void set_title(std::string_view title) = 0;
  // The pause button offers to continue (paused) or to pause; so does the strip's.
  virtual void set_paused(bool paused) = 0;
  // The strip.
  virtual void show_time(const SongTime& time) = 0;  // not while the user drags the seek bar
  virtual void set_volume(int volume) = 0;
  virtual void show_mode(std::string_view name) = 0;  // the mode button's text and tooltip
  virtual void show_list(ListKind list) = 0;
  // Which rows are favourites, one flag a row of the results, shown with a mark.
  virtual void mark_favourites(std::vector<bool> marks) = 0;
  // The row playing, marked and kept in sight; -1 for none.
  virtual void mark_playing_row(int row) = 0;
  // Closing the window hides it in the tray instead of ending the program; the tray's icon (its menu,
  // the song playing as its tip) is there while this is on.
  virtual void set_close_to_tray(bool on) = 0;
  // The global keys another program holds (left to it), for the settings to say; empty when none.
  virtual Text taken_keys() = 0;
  // The desktop lyrics window, made at the first call with what its buttons do; the window owns it.
  // Null where it cannot be made.
  virtual DesktopLyricsWindow* desktop_lyrics(DesktopButtons buttons) = 0;
  // The system's media overlay, made at the first call with what its buttons do; the window owns it.
  // Null where it cannot be made.
  virtual MediaOverlay* media_overlay(MediaButtons buttons) = 0;
  // Whether the menus show the desktop lyrics as on, and as locked.
  virtual void show_desktop_lyrics_state(bool on, bool locked) = 0;
  // Modal to the program; returns 0 OK, 1 Cancel, ...
  virtual int message_box(std::string_view message, int buttons = kOk,
                          std::string_view caption = kDefaultCaption) = 0;
  // The results' context menu at the cursor.
  virtual void popup_list_menu(const ListMenu& menu) = 0;
  // The settings dialog, modal: the form the user kept (each OK first passes `check`, which may send the
  // user back with a line to read), or nothing when cancelled. `note` is said at its foot.
  virtual std::optional<SettingsForm> edit_settings(const SettingsForm& form,
                                                    const std::function<CheckedForm(SettingsForm)>& check,
                                                    std::string_view note) = 0;
  // Where the taskbar offers it (Windows 7 on); nothing otherwise.
  virtual void set_taskbar_progress(const TaskbarProgress& progress) = 0;
  // Takes the media play/pause key (its global hot key) or leaves it to other programs.
  virtual void hold_media_key(bool held) = 0;
  // Calls tick every period_ms until stopped; starting a running timer again replaces it.
  virtual void start_timer(Timer timer, int period_ms, std::function<void()> tick) = 0;
  virtual void stop_timer(Timer timer) = 0;
};

}  // namespace qiwa
