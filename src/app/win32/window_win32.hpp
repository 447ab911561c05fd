#pragma once
// The main window over the wide Win32 API; every text crosses through runtime/win32/wide.hpp.
#include <windows.h>

#include <shobjidl.h>

#include <array>
#include <functional>

#include "runtime/win32/dpi.hpp"
#include "runtime/win32/handle.hpp"
#include "app/layout.hpp"
#include "app/main_window.hpp"

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
  IconHandle thumb_icon;
  std::array<std::function<void()>, kTimerCount> ticks;  // the running timers', by Timer
  bool media_key_held = false;  // while a song is loaded

  bool paused = false;  // what the pause button offers: to continue
  HWND control(Role role) const { return controls[static_cast<std::size_t>(role)]; }
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
  void clear_lyrics() override;
  void add_lyrics(std::string_view lines) override;
  void mark_lyrics_line(int line) override;
  EditView lyrics_view() override;
  void show_cover(const Bytes& image) override;
  void set_title(std::string_view title) override;
  void set_paused(bool paused) override;
  int message_box(std::string_view message, int buttons, std::string_view caption) override;
  void popup_list_menu() override;
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

// The taskbar button (taskbar_win32.cpp).
UINT taskbar_button_created_message();
void on_taskbar_button_created(HWND hwnd, WindowParts& parts);
void show_taskbar_progress(HWND hwnd, WindowParts& parts, const TaskbarProgress& progress);
void follow_pause_state(HWND hwnd, WindowParts& parts);
bool on_thumb_button(const WindowParts& parts, WPARAM wparam);

// The keyboard (keys_win32.cpp).
void hold_media_keys(HWND window, WindowParts& parts, bool held);
bool on_app_command(const WindowParts& parts, LPARAM lparam);
bool on_hot_key(const WindowParts& parts, WPARAM id);
// Tab (or Shift+Tab) from the control that has the focus; false when it is none of ours.
bool move_focus(const WindowParts& parts, HWND from, bool back);

}  // namespace qiwa
