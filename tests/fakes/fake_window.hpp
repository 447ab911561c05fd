#pragma once
// An in-memory main window: remembers what the core wrote and answers what it reads.
// invoke runs the work inline under the window's lock, as the real one runs it on its thread.
#include <map>
#include <mutex>
#include <vector>

#include "app/main_window.hpp"

namespace qiwa::fakes {

struct ShownMessage {
  Text message;
  int buttons = 0;
  Text caption;
};

class FakeWindow : public MainWindow {
 public:
  FakeWindow();

  bool invoke(const std::function<void()>& fn) override;
  Text text(Control c) override;
  void set_text(Control c, std::string_view text) override;
  void append_text(Control c, std::string_view text) override;
  bool checked(Control c) override;
  int selected_item(Control c) override;
  Text title() override;
  void set_title(std::string_view title) override;
  void list_clear() override;
  int list_append_row() override;
  void list_set_cell(int row, int column, std::string_view text) override;
  Text list_cell(int row, int column) override;
  int list_row_count() override;
  int list_selected_row() override;
  void set_picture(const Bytes& image) override;
  int message_box(std::string_view message, int buttons, std::string_view caption) override;
  void popup_list_menu() override;
  void mark_line(Control c, int line) override;
  EditView edit_view(Control c) override;
  void set_taskbar_progress(const TaskbarProgress& progress) override;
  void hold_media_key(bool held) override;
  void start_ticks(int period_ms, std::function<void()> tick) override;
  void stop_ticks() override;

  // What the user does.
  void type(Control c, std::string_view text) { set_text(c, text); }
  void choose(int combo_index);
  void select_row(int row);
  void tick(bool on);
  void close();  // the window is gone: invoke refuses from now on
  void scroll_lyrics(int first_line);  // the user scrolls 编辑框2 by hand
  // The timer fires once (nothing when none runs).
  void fire_ticks();

  // What the tests look at.
  std::vector<std::vector<Text>> rows();
  std::vector<Text> titles();  // every title set, in order
  std::vector<ShownMessage> messages();
  Bytes picture();
  int picture_count();
  int popups();
  int invokes();
  std::vector<int> marked_lines();  // every line marked in 编辑框2, in order
  int tick_period();  // 0 when no timer runs
  std::vector<TaskbarProgress> taskbar();  // every progress shown, in order
  bool media_key_held();
  // Called (outside the lock) whenever a message box is shown, e.g. to stop a test's waiting.
  void on_message(std::function<void(const ShownMessage&)> hook);
  // Called (outside the lock) after each invoke's work, as if the user acted between two of them.
  void on_invoked(std::function<void()> hook);

 private:
  mutable std::recursive_mutex mutex_;
  std::map<Control, Text> texts_;
  std::map<Control, bool> checks_;
  int combo_ = 0;
  std::vector<std::vector<Text>> rows_;
  int selected_ = -1;
  Text title_;
  std::vector<Text> titles_;
  Bytes picture_;
  int picture_count_ = 0;
  std::vector<ShownMessage> messages_;
  std::function<void(const ShownMessage&)> message_hook_;
  std::function<void()> invoked_hook_;
  int popups_ = 0;
  int invokes_ = 0;
  bool gone_ = false;
  std::vector<int> marked_;
  EditView lyrics_view_;
  int tick_period_ = 0;
  std::vector<TaskbarProgress> taskbar_;
  bool media_key_ = false;
  std::function<void()> tick_;
};

}  // namespace qiwa::fakes
