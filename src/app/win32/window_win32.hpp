#pragma once
// The main window over the wide Win32 API; every text crosses through runtime/win32/wide.hpp.
#include <windows.h>

#include <shobjidl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/win32/dpi.hpp"
#include "runtime/win32/handle.hpp"
#include "app/layout.hpp"
#include "app/main_window.hpp"
#include "app/win32/desktop_lyrics_win32.hpp"
#include "app/win32/media_overlay_win32.hpp"

namespace qiwa {

using EventHandler = std::function<void(WindowEvent)>;

// Everything the window procedure's handlers work on; the window's thread's own.
struct WindowParts {
  HINSTANCE instance = nullptr;
  HWND hwnd = nullptr;
  std::array<HWND, kRoleCount> controls{};  // indexed by Role
  GdiObject ui_font;
  GdiObject lyrics_font;
  MenuHandle menu;  // "菜单", never placed in a menu bar
  GdiObject picture;
  EventHandler handler;
  UINT dpi = 96;  // the window's, which the layout and the fonts follow
  ComRef<ITaskbarList3> taskbar;  // once the taskbar button exists, where the system has one
  TaskbarProgress progress;       // the last one shown, for a taskbar button made later
  std::array<IconHandle, 3> thumb_icons;  // the thumbnail toolbar's: previous, pause, next
  std::array<std::function<void()>, kTimerCount> ticks;  // the running timers', by Timer
  bool media_key_held = false;  // while a song is loaded

  bool paused = false;  // what the pause button offers: to continue
  // The strip (strip_win32.cpp).
  std::array<HWND, kStripRoleCount> strip{};  // indexed by StripRole
  HWND tooltips = nullptr;                    // owned by the window: destroyed with it
  bool seek_dragging = false;                 // the user holds the seek bar's thumb
  std::int64_t seek_target_ms = 0;
  std::int64_t seek_scale_ms = 1000;          // ms per step of the seek bar
  SongTime time;                              // the last one shown
  int playing_row = -1;
  // The results' rows, which the virtual list asks for as it draws them (list_view_win32.cpp).
  std::vector<SongRow> rows;
  std::vector<bool> favourites;  // one flag a row of the results
  std::vector<bool> row_ticks;   // the rows' check boxes, which a virtual list does not keep
  // The tray, the global keys and the desktop lyrics (tray_win32.cpp, keys_win32.cpp).
  Text tray_tip;
  Text taken_keys;                  // global keys another program holds
  bool desktop_lyrics_on = false;   // for the menus' check marks
  bool desktop_lyrics_locked = false;
  bool close_to_tray = false;       // closing hides the window
  bool tray_shown = false;          // the tray's icon is there
  bool exiting = false;             // the tray's 退出: closing ends the program whatever the setting
  std::unique_ptr<Win32DesktopLyrics> desktop_lyrics;  // made when first shown
  std::unique_ptr<Win32MediaOverlay> media_overlay;    // made at the first song

  HWND control(Role role) const { return controls[static_cast<std::size_t>(role)]; }
  HWND control(StripRole role) const { return strip[static_cast<std::size_t>(role)]; }
  void emit(WindowEvent e) const {
    if (handler) handler(e);
  }
};

class Win32MainWindow final : public MainWindow {
 public:
  explicit Win32MainWindow(HINSTANCE instance);
  void set_handler(EventHandler handler) { parts_.handler = std::move(handler); }
  // Creates the window with every control, then reports `created`; the window stays hidden.
  bool create();
  void show(int show_command);
  HWND hwnd() const { return parts_.hwnd; }

  std::optional<ScreenPoint> position() override;
  void move_to(ScreenPoint at) override;
  Text search_words() override;
  void set_search_words(std::string_view words) override;
  void choose_catalogue(int index) override;
  int chosen_catalogue() override;
  bool delete_on_exit() override;
  int selected_row() override;
  void clear_rows() override;
  void add_rows(std::span<const SongRow> rows) override;
  void show_row_title(int row, std::string_view text) override;
  void clear_lyrics() override;
  void add_lyrics(std::string_view lines) override;
  void mark_lyrics_line(int line) override;
  EditView lyrics_view() override;
  void show_cover(const Bytes& image) override;
  void set_title(std::string_view title) override;
  void set_paused(bool paused) override;
  void set_close_to_tray(bool on) override;
  Text taken_keys() override { return parts_.taken_keys; }
  DesktopLyricsWindow* desktop_lyrics(DesktopButtons buttons) override;
  void show_desktop_lyrics_state(bool on, bool locked) override {
    parts_.desktop_lyrics_on = on;
    parts_.desktop_lyrics_locked = locked;
  }
  MediaOverlay* media_overlay(MediaButtons buttons) override {
    if (!parts_.media_overlay) parts_.media_overlay = std::make_unique<Win32MediaOverlay>(parts_.hwnd, std::move(buttons));
    return parts_.media_overlay.get();
  }
  std::int64_t seek_target() override;
  int volume() override;
  ListKind chosen_list() override;
  void show_time(const SongTime& time) override;
  void set_volume(int volume) override;
  void show_mode(std::string_view name) override;
  void show_list(ListKind list) override;
  void mark_playing_row(int row) override;
  int message_box(std::string_view message, int buttons, std::string_view caption) override;
  void popup_list_menu(const ListMenu& menu) override;
  std::vector<int> selected_rows() override;
  void mark_favourites(std::vector<bool> marks) override;
  void set_taskbar_progress(const TaskbarProgress& progress) override;
  void hold_media_key(bool held) override;
  std::optional<SettingsForm> edit_settings(const SettingsForm& form,
                                            const std::function<CheckedForm(SettingsForm)>& check,
                                            std::string_view note) override;
  void start_timer(Timer timer, int period_ms, std::function<void()> tick) override;
  void stop_timer(Timer timer) override;

 private:
  WindowParts parts_;
};

// The message loop of the window's thread; returns the quit code.
int run_message_loop();

// The window at its DPI (dpi_win32.cpp); the layout is given at 96 DPI.
Rect at_dpi(const Rect& r, UINT dpi);
int drop_down_height(int field_height, UINT dpi);
GdiObject make_ui_font(UINT dpi);
GdiObject make_lyrics_font(UINT dpi);
void on_dpi_changed(HWND hwnd, WindowParts& parts, UINT dpi, const RECT& suggested);
// The drop-down's catalogues; the closed field's height (window_win32.cpp).
void fill_drop_down(HWND combo);
void setup_drop_down(HWND combo, int field_height);

// The results' virtual list (list_view_win32.cpp): its rows, and what it asks of its parent (their
// cells, their check boxes, the favourites' colour; a double click plays). False when it is not that.
void result_list_clear(WindowParts& parts);
void result_list_add(WindowParts& parts, std::span<const SongRow> rows);
bool on_result_list_notify(WindowParts& parts, const NMHDR& header, LRESULT& result);

// The taskbar button (taskbar_win32.cpp).
UINT taskbar_button_created_message();
void on_taskbar_button_created(HWND hwnd, WindowParts& parts);
void show_taskbar_progress(HWND hwnd, WindowParts& parts, const TaskbarProgress& progress);
void follow_thumb_buttons(HWND hwnd, WindowParts& parts);  // pause's state, the window's DPI
bool on_thumb_button(const WindowParts& parts, WPARAM wparam);
enum class ThumbGlyph { previous, pause, play, next };
std::vector<std::uint8_t> thumb_glyph_coverage(ThumbGlyph glyph, int size);  // alpha, row by row
IconHandle make_thumb_glyph(ThumbGlyph glyph, int size);

// The strip below the design's controls (strip_win32.cpp).
bool create_strip(HWND hwnd, WindowParts& parts);
void place_strip(WindowParts& parts);  // at the window's DPI, with its font
bool on_strip_command(WindowParts& parts, HWND from, int code);
bool on_strip_scroll(WindowParts& parts, HWND from, int code);
bool on_strip_notify(WindowParts& parts, const NMHDR& header);
bool on_volume_wheel(WindowParts& parts, int delta);
void strip_show_time(WindowParts& parts, const SongTime& time);
void strip_set_volume(WindowParts& parts, int volume);
void strip_step_volume(WindowParts& parts, int by);  // and tells the application
int strip_volume(const WindowParts& parts);
void strip_show_mode(WindowParts& parts, std::string_view name);
void strip_show_list(WindowParts& parts, ListKind list);
ListKind strip_chosen_list(const WindowParts& parts);
void strip_follow_pause(WindowParts& parts);
// The strip's keys (when the search box has no focus): Space, Ctrl+Left/Right, Left/Right, Up/Down.
bool on_player_key(WindowParts& parts, HWND focus, WPARAM key);

// The notification area's icon (tray_win32.cpp).
inline constexpr UINT kTrayMessage = WM_APP + 1;
UINT taskbar_created_message();
void add_tray_icon(HWND hwnd, const WindowParts& parts);
void remove_tray_icon(HWND hwnd);
void set_tray_tip(HWND hwnd, WindowParts& parts, std::string_view tip);
void on_tray_message(HWND hwnd, WindowParts& parts, LPARAM lparam);
void show_main_window(HWND hwnd);

// The keyboard (keys_win32.cpp).
Text register_global_keys(HWND window);
void unregister_global_keys(HWND window);
void hold_media_keys(HWND window, WindowParts& parts, bool held);
bool on_app_command(WindowParts& parts, LPARAM lparam);
bool on_hot_key(WindowParts& parts, WPARAM id);
// Tab (or Shift+Tab) from the control that has the focus; false when it is none of ours.
bool move_focus(const WindowParts& parts, HWND from, bool back);

}  // namespace qiwa
