#include "fakes/fake_window.hpp"

namespace qiwa::fakes {

using Lock = std::lock_guard<std::recursive_mutex>;

FakeWindow::FakeWindow() : title_("Qiwa音乐") { texts_[Control::按钮4] = "暂停播放"; }

bool FakeWindow::invoke(const std::function<void()>& fn) {
  std::function<void()> hook;
  {
    Lock lock(mutex_);
    if (gone_) return false;
    ++invokes_;
    fn();
    hook = invoked_hook_;
  }
  if (hook) hook();
  return true;
}

Text FakeWindow::text(Control c) {
  Lock lock(mutex_);
  return texts_[c];
}

void FakeWindow::set_text(Control c, std::string_view text) {
  Lock lock(mutex_);
  texts_[c] = Text(text);
}

void FakeWindow::append_text(Control c, std::string_view text) {
  Lock lock(mutex_);
  texts_[c] += text;
}

// Like the real window, a control of a window that is gone reads as unticked.
bool FakeWindow::checked(Control c) {
  Lock lock(mutex_);
  return !gone_ && checks_[c];
}

int FakeWindow::selected_item(Control c) {
  Lock lock(mutex_);
  return c == Control::组合框1 ? combo_ : -1;
}

Text FakeWindow::title() {
  Lock lock(mutex_);
  return title_;
}

void FakeWindow::set_title(std::string_view title) {
  Lock lock(mutex_);
  title_ = Text(title);
  titles_.push_back(title_);
}

void FakeWindow::list_clear() {
  Lock lock(mutex_);
  rows_.clear();
  selected_ = -1;
}

int FakeWindow::list_append_row() {
  Lock lock(mutex_);
  rows_.emplace_back(6);
  return static_cast<int>(rows_.size()) - 1;
}

void FakeWindow::list_set_cell(int row, int column, std::string_view text) {
  Lock lock(mutex_);
  if (row >= 0 && row < static_cast<int>(rows_.size()) && column >= 0 && column < 6) rows_[row][column] = text;
}

Text FakeWindow::list_cell(int row, int column) {
  Lock lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= 6) return {};
  return rows_[row][column];
}

int FakeWindow::list_row_count() {
  Lock lock(mutex_);
  return static_cast<int>(rows_.size());
}

int FakeWindow::list_selected_row() {
  Lock lock(mutex_);
  return selected_;
}

void FakeWindow::set_picture(const Bytes& image) {
  Lock lock(mutex_);
  picture_ = image;
  ++picture_count_;
}

int FakeWindow::message_box(std::string_view message, int buttons, std::string_view caption) {
  ShownMessage shown{Text(message), buttons, Text(caption)};
  std::function<void(const ShownMessage&)> hook;
  {
    Lock lock(mutex_);
    messages_.push_back(shown);
    hook = message_hook_;
  }
  if (hook) hook(shown);
  return 0;
}

void FakeWindow::popup_list_menu() {
  Lock lock(mutex_);
  ++popups_;
}

// A line's view: selected, and scrolled to a third from the top of a box ten lines high.
void FakeWindow::mark_line(Control, int line) {
  Lock lock(mutex_);
  marked_.push_back(line);
  lyrics_view_ = EditView{line * 100, line * 100 + 10, line > 3 ? line - 3 : 0};
}

EditView FakeWindow::edit_view(Control) {
  Lock lock(mutex_);
  return lyrics_view_;
}

void FakeWindow::set_taskbar_progress(const TaskbarProgress& progress) {
  Lock lock(mutex_);
  taskbar_.push_back(progress);
}

void FakeWindow::hold_media_key(bool held) {
  Lock lock(mutex_);
  media_key_ = held;
}

bool FakeWindow::media_key_held() {
  Lock lock(mutex_);
  return media_key_;
}

std::vector<TaskbarProgress> FakeWindow::taskbar() {
  Lock lock(mutex_);
  return taskbar_;
}

void FakeWindow::start_ticks(int period_ms, std::function<void()> tick) {
  Lock lock(mutex_);
  tick_period_ = period_ms;
  tick_ = std::move(tick);
}

void FakeWindow::stop_ticks() {
  Lock lock(mutex_);
  tick_period_ = 0;
  tick_ = nullptr;
}

void FakeWindow::scroll_lyrics(int first_line) {
  Lock lock(mutex_);
  lyrics_view_.first_line = first_line;
}

void FakeWindow::fire_ticks() {
  std::function<void()> tick;
  {
    Lock lock(mutex_);
    if (gone_) return;
    tick = tick_;
  }
  if (tick) invoke(tick);
}

std::vector<int> FakeWindow::marked_lines() {
  Lock lock(mutex_);
  return marked_;
}

int FakeWindow::tick_period() {
  Lock lock(mutex_);
  return tick_period_;
}

void FakeWindow::choose(int combo_index) {
  Lock lock(mutex_);
  combo_ = combo_index;
}

void FakeWindow::select_row(int row) {
  Lock lock(mutex_);
  selected_ = row;
}

void FakeWindow::tick(bool on) {
  Lock lock(mutex_);
  checks_[Control::选择框1] = on;
}

void FakeWindow::close() {
  Lock lock(mutex_);
  gone_ = true;
}

std::vector<std::vector<Text>> FakeWindow::rows() {
  Lock lock(mutex_);
  return rows_;
}

std::vector<Text> FakeWindow::titles() {
  Lock lock(mutex_);
  return titles_;
}

std::vector<ShownMessage> FakeWindow::messages() {
  Lock lock(mutex_);
  return messages_;
}

Bytes FakeWindow::picture() {
  Lock lock(mutex_);
  return picture_;
}

int FakeWindow::picture_count() {
  Lock lock(mutex_);
  return picture_count_;
}

int FakeWindow::popups() {
  Lock lock(mutex_);
  return popups_;
}

int FakeWindow::invokes() {
  Lock lock(mutex_);
  return invokes_;
}

void FakeWindow::on_message(std::function<void(const ShownMessage&)> hook) {
  Lock lock(mutex_);
  message_hook_ = std::move(hook);
}

void FakeWindow::on_invoked(std::function<void()> hook) {
  Lock lock(mutex_);
  invoked_hook_ = std::move(hook);
}

}  // namespace qiwa::fakes
