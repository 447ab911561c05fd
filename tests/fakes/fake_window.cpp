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
  return box_answer_;
}

std::optional<SettingsForm> FakeWindow::edit_settings(const SettingsForm& form,
                                                      const std::function<CheckedForm(SettingsForm)>& check,
                                                      std::string_view) {
  if (!settings_user_) return std::nullopt;
  for (SettingsForm tried : settings_user_(form)) {
    CheckedForm checked = check(std::move(tried));
    if (checked.problem.empty()) return checked.form;
    settings_problems_.push_back(checked.problem);
  }
  return std::nullopt;  // cancelled after all
}

void FakeWindow::start_timer(Timer timer, int period_ms, std::function<void()> tick) {
  periods_[static_cast<std::size_t>(timer)] = period_ms;
  ticks_[static_cast<std::size_t>(timer)] = std::move(tick);
}

void FakeWindow::stop_timer(Timer timer) {
  periods_[static_cast<std::size_t>(timer)] = 0;
  ticks_[static_cast<std::size_t>(timer)] = nullptr;
}

void FakeWindow::fire(Timer timer) {
  if (auto tick = ticks_[static_cast<std::size_t>(timer)]) tick();
}

}  // namespace qiwa::fakes
