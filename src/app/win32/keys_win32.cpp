// The keyboard: the media play/pause key (WM_APPCOMMAND while the window is active, a global hot key
// otherwise, when no other program holds it), held only while a song is loaded so that other players
// have it the rest of the time, and Tab through the controls in reading order.
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

constexpr int kPlayPauseHotKey = 1;

// Reading order: search, source, its button, the results, play and more, pause, lyrics, the check box.
constexpr Role kTabOrder[] = {Role::search_box,  Role::catalogue,    Role::search_button,
                              Role::results,     Role::play_button,  Role::more_button,
                              Role::pause_button, Role::lyrics,      Role::delete_on_exit};

}  // namespace

void hold_media_keys(HWND window, WindowParts& parts, bool held) {
  if (held == parts.media_key_held) return;
  parts.media_key_held = held;
  if (held)
    RegisterHotKey(window, kPlayPauseHotKey, 0, VK_MEDIA_PLAY_PAUSE);
  else
    UnregisterHotKey(window, kPlayPauseHotKey);
}

bool on_app_command(const WindowParts& parts, LPARAM lparam) {
  if (!parts.media_key_held || GET_APPCOMMAND_LPARAM(lparam) != APPCOMMAND_MEDIA_PLAY_PAUSE) return false;
  parts.emit(WindowEvent::pause);
  return true;
}

bool on_hot_key(const WindowParts& parts, WPARAM id) {
  if (id != kPlayPauseHotKey) return false;
  parts.emit(WindowEvent::pause);
  return true;
}

bool move_focus(const WindowParts& parts, HWND from, bool back) {
  constexpr int count = static_cast<int>(std::size(kTabOrder));
  int at = -1;
  for (int i = 0; i < count; ++i) {
    HWND c = parts.control(kTabOrder[i]);
    if (c && (c == from || IsChild(c, from))) at = i;
  }
  if (at < 0) return false;
  for (int step = 1; step < count; ++step) {
    HWND next = parts.control(kTabOrder[((back ? at - step : at + step) % count + count) % count]);
    if (next && IsWindowVisible(next) && IsWindowEnabled(next)) {
      SetFocus(next);
      return true;
    }
  }
  return false;
}

}  // namespace qiwa
