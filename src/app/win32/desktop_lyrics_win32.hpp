#pragma once
// The desktop lyrics window over Win32: a borderless, topmost tool window with per-pixel alpha
// (WS_EX_LAYERED, drawn by UpdateLayeredWindow from a premultiplied 32-bit DIB). GDI draws each line's
// text into an alpha mask, grown into an outline so that it reads on any background; the sung part
// takes another colour. Only the columns the fill crossed are composed and handed over as it moves.
#include <windows.h>

#include <memory>

#include "app/desktop_lyrics_window.hpp"

namespace qiwa {

class Win32DesktopLyrics final : public DesktopLyricsWindow {
 public:
  // The window, hidden and unlocked, at the default place; null when the system refuses one. The
  // buttons run on the calling thread, whose messages the window takes.
  static std::unique_ptr<Win32DesktopLyrics> create(HINSTANCE instance, DesktopButtons buttons);
  ~Win32DesktopLyrics() override;

  HWND hwnd() const;

  void show(const DesktopPicture& picture) override;
  int line_width_px() override;
  void set_visible(bool visible) override;
  void set_locked(bool locked) override;
  void set_place(const DesktopPlace& place) override;
  DesktopPlace place() override;
  void start_timer(int delay_ms, std::function<void()> fire) override;
  void stop_timer() override;

  struct State;

 private:
  explicit Win32DesktopLyrics(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace qiwa
