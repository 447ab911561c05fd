#include "fakes/fake_window.hpp"

namespace qiwa::fakes {

void FakeWindow::clear_rows() {
  rows_.clear();
  selected_ = -1;
}

void FakeWindow::add_rows(std::span<const SongRow> rows) {
  for (const SongRow& row : rows) {
    std::vector<Text>& cells = rows_.emplace_back();
    for (std::size_t c = 0; c < kCellCount; ++c) cells.push_back(row.cell(static_cast<Cell>(c)));
  }
}

// A line's view: selected, and scrolled to a third from the top of a box ten lines high.
void FakeWindow::mark_lyrics_line(int line) {
  marked_.push_back(line);
  lyrics_view_ = EditView{line * 100, line * 100 + 10, line > 3 ? line - 3 : 0};
}

void FakeWindow::show_cover(const Bytes& image) {
  cover_ = image;
  ++covers_shown_;
}

void FakeWindow::set_title(std::string_view title) {
  title_ = Text(title);
  titles_.push_back(title_);
}

int FakeWindow::message_box(std::string_view message, int buttons, std::string_view caption) {
  ShownMessage shown{Text(message), buttons, Text(caption)};
  messages_.push_back(shown);
  if (message_hook_) message_hook_(shown);
  return 0;
}

void FakeWindow::start_ticks(int period_ms, std::function<void()> tick) {
  tick_period_ = period_ms;
  tick_ = std::move(tick);
}

void FakeWindow::stop_ticks() {
  tick_period_ = 0;
  tick_ = nullptr;
}

void FakeWindow::fire_ticks() {
  if (auto tick = tick_) tick();
}

}  // namespace qiwa::fakes
