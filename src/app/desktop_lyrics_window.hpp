#pragma once
// The desktop lyrics window as the program drives it: a borderless, topmost, see-through line over
// whatever the user is doing. The Win32 one is app/win32/desktop_lyrics_win32; tests use a double.
#include <functional>

#include "runtime/types.hpp"

namespace qiwa {

// What the window shows: the line being sung large, filled from the left as it is sung, the next one
// smaller under it, and the line's translation when the user asked for it.
struct DesktopPicture {
  Text current;
  Text next;
  Text translation;
  double fill = 0;  // the sung part of `current`, 0 to 1
  friend bool operator==(const DesktopPicture&, const DesktopPicture&) = default;
};

// Where the window is and how large it draws: kept by the program between runs.
struct DesktopPlace {
  static constexpr int kDefaultTextSize = 36;
  static constexpr int kMinTextSize = 16;
  static constexpr int kMaxTextSize = 96;
  int left = 0;  // the window's top left corner in screen pixels
  int top = 0;
  int width = 0;                     // at 96 DPI; 0 for the default (most of the monitor's width)
  int text_size = kDefaultTextSize;  // the current line's height at 96 DPI
  bool placed = false;               // false: centred near the bottom of the main monitor
  friend bool operator==(const DesktopPlace&, const DesktopPlace&) = default;
};

// What the user did on the window, told once the window has done its own part; each runs on the
// window's thread. The hover bar's buttons: lock (it is now locked), smaller and larger (its text is,
// told as `moved`), earlier and later (the program moves the lines), close (it is now hidden).
struct DesktopButtons {
  std::function<void()> locked;
  std::function<void()> earlier;  // the lines 0.5 s sooner
  std::function<void()> later;
  std::function<void()> closed;
  std::function<void(const DesktopPlace&)> moved;  // dragged, resized, text size, another monitor's DPI
};

class DesktopLyricsWindow {
 public:
  virtual ~DesktopLyricsWindow() = default;
  // Draws the picture; nothing happens when it would look as it does (the same lines, the fill on
  // the same pixel).
  virtual void show(const DesktopPicture& picture) = 0;
  // How many pixels wide the current line is drawn: a step of the fill smaller than one changes nothing.
  virtual int line_width_px() = 0;
  virtual void set_visible(bool visible) = 0;
  // Locked: clicks pass through to the window below and no bar shows. Unlocked: it can be dragged.
  virtual void set_locked(bool locked) = 0;
  // Moves and sizes it, kept on a visible monitor.
  virtual void set_place(const DesktopPlace& place) = 0;
  virtual DesktopPlace place() = 0;
  // Calls `fire` once, `delay_ms` from now, on the window's thread, instead of any call still waiting.
  virtual void start_timer(int delay_ms, std::function<void()> fire) = 0;
  virtual void stop_timer() = 0;
};

}  // namespace qiwa
