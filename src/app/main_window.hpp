#pragma once
// The main window as the core sees it. Every method may be called from any thread; the backend
// runs the work on the window's own thread.
#include <functional>

#include "runtime/types.hpp"

namespace qiwa {

// The controls, in the order the window stores them.
enum class Control { 选择框1, 编辑框2, 图片框1, 按钮4, 按钮3, 按钮2, 超级列表框1, 组合框1, 按钮1, 编辑框1 };

// User and lifecycle events the window reports to the application.
enum class WindowEvent {
  created,          // window and controls exist
  destroying,       // about to be destroyed
  session_ending,   // Windows is logging off or shutting down: the process ends without a destroying
  search_clicked,   // 按钮1
  search_enter,     // Enter in 编辑框1
  load_more,        // 按钮2
  play_clicked,     // 按钮3
  menu_play,        // context menu item
  pause_clicked,    // 按钮4
  list_right_click  // anywhere on 超级列表框1
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

enum MessageBoxButtons { kOk = 0, kOkCancel = 1 };
inline constexpr const char* kDefaultCaption = "信息：";

class MainWindow {
 public:
  virtual ~MainWindow() = default;

  // Runs fn on the window's thread and waits for it, so a group of changes is atomic.
  // Returns false (fn not run) once the window is gone. Calls from the window's thread run at once.
  virtual bool invoke(const std::function<void()>& fn) = 0;

  virtual Text text(Control c) = 0;  // edit content, button or check box caption
  virtual void set_text(Control c, std::string_view text) = 0;
  // Caret to the end, scroll it into view, insert there.
  virtual void append_text(Control c, std::string_view text) = 0;
  // Selects the 0-based line of an edit box's text (lines end in CR LF) and scrolls it about a third
  // from the top.
  virtual void mark_line(Control c, int line) = 0;
  virtual EditView edit_view(Control c) = 0;
  virtual bool checked(Control c) = 0;
  virtual int selected_item(Control c) = 0;  // drop-down list, -1 when none

  virtual Text title() = 0;
  virtual void set_title(std::string_view title) = 0;

  virtual void list_clear() = 0;
  virtual int list_append_row() = 0;  // 0-based index of the new row
  virtual void list_set_cell(int row, int column, std::string_view text) = 0;
  virtual Text list_cell(int row, int column) = 0;
  virtual int list_row_count() = 0;
  virtual int list_selected_row() = 0;  // first selected row, -1 when none

  // Image file bytes; empty or undecodable bytes leave the picture box empty.
  virtual void set_picture(const Bytes& image) = 0;
  // Modal to the program; returns 0 OK, 1 Cancel, ...
  virtual int message_box(std::string_view message, int buttons = kOk,
                          std::string_view caption = kDefaultCaption) = 0;
  // The menu "菜单" at the cursor moved 3 px right and 3 px down.
  virtual void popup_list_menu() = 0;
  // Where the taskbar offers it (Windows 7 on); nothing otherwise.
  virtual void set_taskbar_progress(const TaskbarProgress& progress) = 0;
  // Takes the media play/pause key (its global hot key, and the key while the window is active) or leaves
  // it to other programs.
  virtual void hold_media_key(bool held) = 0;
  // Calls tick on the window's thread every period_ms until stop_ticks; one such timer per window.
  virtual void start_ticks(int period_ms, std::function<void()> tick) = 0;
  virtual void stop_ticks() = 0;
};

}  // namespace qiwa
