#pragma once
// A desktop lyrics window that draws nothing: it keeps what it was asked to show, draws (records) only
// what would look different, as the real one does at a line width it is told, and holds its one-shot
// timer for the test to fire.
#include <cmath>
#include <optional>
#include <vector>

#include "app/desktop_lyrics_window.hpp"

namespace qiwa::fakes {

class FakeDesktopLyricsWindow : public DesktopLyricsWindow {
 public:
  void show(const DesktopPicture& picture) override {
    ++asked_;
    const auto pixels = [&](const DesktopPicture& p) { return static_cast<int>(std::floor(p.fill * width_)); };
    if (!drawn_.empty()) {
      const DesktopPicture& last = drawn_.back();
      if (last.current == picture.current && last.next == picture.next && last.translation == picture.translation &&
          pixels(last) == pixels(picture))
        return;
    }
    drawn_.push_back(picture);
  }
  int line_width_px() override { return width_; }
  void set_visible(bool visible) override { visible_ = visible; }
  void set_locked(bool locked) override { locked_ = locked; }
  void set_place(const DesktopPlace& place) override { place_ = place; }
  DesktopPlace place() override { return place_; }
  void start_timer(int delay_ms, std::function<void()> fire) override {
    delay_ = delay_ms;
    fire_ = std::move(fire);
    ++timers_;
  }
  void stop_timer() override {
    delay_.reset();
    fire_ = nullptr;
  }

  // The timer fires (it is one-shot: the call may start it again).
  void fire() {
    auto fire = std::move(fire_);
    delay_.reset();
    if (fire) fire();
  }
  void set_line_width(int px) { width_ = px; }

  std::optional<int> timer() const { return delay_; }  // the delay of the call waiting, if one is
  const std::vector<DesktopPicture>& drawn() const { return drawn_; }
  int asked() const { return asked_; }
  int timers_started() const { return timers_; }
  bool visible() const { return visible_; }
  bool locked() const { return locked_; }

 private:
  int width_ = 400;
  std::vector<DesktopPicture> drawn_;
  int asked_ = 0;
  int timers_ = 0;
  std::optional<int> delay_;
  std::function<void()> fire_;
  bool visible_ = false;
  bool locked_ = false;
  DesktopPlace place_;
};

}  // namespace qiwa::fakes
