#pragma once
// An in-memory main window: remembers what the application showed and answers what it reads. Like the
// real one it is used on one thread only (the test's, which plays the window's thread).
#include <array>
#include <map>
#include <vector>

#include "app/main_window.hpp"
#include "fakes/fake_desktop_lyrics_window.hpp"
#include "fakes/fake_media_overlay.hpp"

namespace qiwa::fakes {

struct ShownMessage {
  Text message;
  int buttons = 0;
  Text caption;
};

class FakeWindow : public MainWindow {
 public:
  std::optional<ScreenPoint> position() override { return position_; }
  void move_to(ScreenPoint at) override { position_ = at; }
  Text search_words() override { return words_; }
  void set_search_words(std::string_view words) override { words_ = Text(words); }
  void choose_catalogue(int index) override { catalogue_ = index; }
  int chosen_catalogue() override { return catalogue_; }
  bool delete_on_exit() override { return delete_on_exit_; }
  int selected_row() override { return selected_; }
  void clear_rows() override;
  void add_rows(std::span<const SongRow> rows) override;
  void show_row_title(int row, std::string_view text) override {
    if (row >= 0 && row < row_count())
      rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(Cell::title)] = text;
  }
  void clear_lyrics() override { lyrics_.clear(); }
  void add_lyrics(std::string_view lines) override { lyrics_ += lines; }
  void mark_lyrics_line(int line) override;
  EditView lyrics_view() override { return lyrics_view_; }
  void show_cover(const Bytes& image) override;
  void set_title(std::string_view title) override;
  void set_paused(bool paused) override { paused_ = paused; }
  std::int64_t seek_target() override { return seek_target_; }
  int volume() override { return volume_; }
  ListKind chosen_list() override { return list_; }
  void show_time(const SongTime& time) override { time_ = time; }
  void set_volume(int volume) override { volume_ = volume; }
  void show_mode(std::string_view name) override { mode_ = Text(name); }
  void show_list(ListKind list) override { list_ = list; }
  void mark_playing_row(int row) override {
    playing_row_ = row;
    if (row >= 0) selected_ = row;
  }
  int message_box(std::string_view message, int buttons, std::string_view caption) override;
  void popup_list_menu(const ListMenu& menu) override {
    ++popups_;
    menu_ = menu;
  }
  std::vector<int> selected_rows() override {
    if (!selection_.empty()) return selection_;
    return selected_ >= 0 ? std::vector<int>{selected_} : std::vector<int>{};
  }
  void mark_favourites(std::vector<bool> marks) override { favourites_ = std::move(marks); }
  void set_close_to_tray(bool on) override { close_to_tray_ = on; }
  Text taken_keys() override { return taken_keys_; }
  DesktopLyricsWindow* desktop_lyrics(DesktopButtons buttons) override {
    desktop_buttons_ = std::move(buttons);
    return &desktop_;
  }
  void show_desktop_lyrics_state(bool on, bool locked) override {
    desktop_on_ = on;
    desktop_locked_ = locked;
  }
  MediaOverlay* media_overlay(MediaButtons buttons) override {
    ++overlay_asks_;
    overlay_buttons_ = std::move(buttons);
    return overlay_present_ ? &overlay_ : nullptr;
  }
  void set_taskbar_progress(const TaskbarProgress& progress) override { taskbar_.push_back(progress); }
  void hold_media_key(bool held) override { media_key_held_ = held; }
  std::optional<SettingsForm> edit_settings(const SettingsForm& form,
                                            const std::function<CheckedForm(SettingsForm)>& check,
                                            std::string_view note) override;
  void start_timer(Timer timer, int period_ms, std::function<void()> tick) override;
  void stop_timer(Timer timer) override;

  // What the user does.
  void type(std::string_view words) { words_ = Text(words); }
  void choose(int catalogue_index) { catalogue_ = catalogue_index; }
  void drag_to(ScreenPoint at) { position_ = at; }
  void select_row(int row) {
    selected_ = row;
    selection_.clear();
  }
  void select_rows(std::vector<int> rows) {
    selection_ = std::move(rows);
    selected_ = selection_.empty() ? -1 : selection_.front();
  }
  // The answer the next message boxes give (OK by default).
  void answer_boxes(int answer) { box_answer_ = answer; }
  void take_keys(Text names) { taken_keys_ = std::move(names); }  // another program holds them
  // The system has no media overlay (before Windows 10).
  void lack_media_overlay() { overlay_present_ = false; }
  // A button of the media overlay, as the user presses it.
  void press(MediaButton button) { overlay_buttons_(button); }
  // The desktop lyrics window's buttons, as the user presses them.
  const DesktopButtons& desktop_buttons() const { return desktop_buttons_; }
  void tick_delete_on_exit(bool on) { delete_on_exit_ = on; }
  void seek_to(std::int64_t ms) { seek_target_ = ms; }
  void slide_volume(int volume) { volume_ = volume; }
  void choose_list(ListKind list) { list_ = list; }
  void scroll_lyrics(int first_line) { lyrics_view_.first_line = first_line; }  // the user scrolls by hand
  // What the user does in the settings dialog: given the form it shows, the forms they try to keep in
  // turn (each one refused sends them to the next), or nothing (cancel).
  void answer_settings(std::function<std::vector<SettingsForm>(const SettingsForm&)> user) { settings_user_ = std::move(user); }
  // The timer fires once (nothing when it does not run).
  void fire(Timer timer);

  // What the tests look at.
  const std::vector<std::vector<Text>>& rows() const { return rows_; }  // every row's six cells
  int row_count() const { return static_cast<int>(rows_.size()); }
  const Text& title() const { return title_; }
  const std::vector<Text>& titles() const { return titles_; }  // every title set, in order
  int catalogue() const { return catalogue_; }
  const Text& lyrics() const { return lyrics_; }
  bool paused() const { return paused_; }
  const SongTime& time() const { return time_; }
  const Text& mode() const { return mode_; }
  int playing_row() const { return playing_row_; }
  const ListMenu& menu() const { return menu_; }
  bool close_to_tray() const { return close_to_tray_; }
  bool desktop_lyrics_shown_on() const { return desktop_on_; }
  bool desktop_lyrics_shown_locked() const { return desktop_locked_; }
  FakeDesktopLyricsWindow& desktop() { return desktop_; }
  const FakeMediaOverlay& overlay() const { return overlay_; }
  int overlay_asks() const { return overlay_asks_; }  // the window was asked for the overlay this often
  const std::vector<bool>& favourites() const { return favourites_; }
  const std::vector<ShownMessage>& messages() const { return messages_; }
  const std::vector<Text>& settings_problems() const { return settings_problems_; }  // said in the dialog
  const Bytes& cover() const { return cover_; }
  int covers_shown() const { return covers_shown_; }
  int popups() const { return popups_; }
  const std::vector<int>& marked_lines() const { return marked_; }  // every line marked, in order
  int period(Timer timer) const { return periods_[static_cast<std::size_t>(timer)]; }  // 0: not running
  const std::vector<TaskbarProgress>& taskbar() const { return taskbar_; }  // every progress shown, in order
  bool media_key_held() const { return media_key_held_; }
  // Called whenever a message box is shown (the box is modal: the test acts while it is up).
  void on_message(std::function<void(const ShownMessage&)> hook) { message_hook_ = std::move(hook); }

 private:
  std::optional<ScreenPoint> position_ = ScreenPoint{50, 50};
  std::int64_t seek_target_ = 0;
  int volume_ = 100;
  ListKind list_ = ListKind::search;
  SongTime time_;
  Text mode_;
  int playing_row_ = -1;
  ListMenu menu_;
  std::vector<bool> favourites_;
  std::vector<int> selection_;
  int box_answer_ = 0;
  bool close_to_tray_ = false;
  bool desktop_on_ = false;
  bool desktop_locked_ = false;
  Text taken_keys_;
  FakeDesktopLyricsWindow desktop_;
  DesktopButtons desktop_buttons_;
  FakeMediaOverlay overlay_;
  MediaButtons overlay_buttons_;
  bool overlay_present_ = true;
  int overlay_asks_ = 0;
  Text words_;
  int catalogue_ = 0;
  bool delete_on_exit_ = false;
  std::vector<std::vector<Text>> rows_;
  int selected_ = -1;
  Text title_ = "Qiwa音乐";
  std::vector<Text> titles_;
  Text lyrics_;
  bool paused_ = false;
  Bytes cover_;
  int covers_shown_ = 0;
  std::vector<ShownMessage> messages_;
  std::function<void(const ShownMessage&)> message_hook_;
  int popups_ = 0;
  std::function<std::vector<SettingsForm>(const SettingsForm&)> settings_user_;
  std::vector<Text> settings_problems_;
  std::vector<int> marked_;
  EditView lyrics_view_;
  std::array<int, kTimerCount> periods_{};
  std::vector<TaskbarProgress> taskbar_;
  bool media_key_held_ = false;
  std::array<std::function<void()>, kTimerCount> ticks_;
};

}  // namespace qiwa::fakes
