// The keyboard: the media keys (WM_APPCOMMAND while the window is active; play/pause also a global hot
// key otherwise, when no other program holds it), held only while a song is loaded so that other players
// have them the rest of the time; the global Ctrl+Alt keys; and Tab through the controls in reading order.
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

constexpr int kPlayPauseHotKey = 1;

// Reading order: search, source, its button, the results, play and more, pause, lyrics, the check box.
constexpr Role kTabOrder[] = {Role::search_box,  Role::catalogue,    Role::search_button,
                              Role::results,     Role::play_button,  Role::more_button,
                              Role::pause_button, Role::lyrics,      Role::delete_on_exit};

}  // namespace

namespace {

// The global keys, Ctrl+Alt with a key, held while the program runs; ids follow the media key's.
struct GlobalKey {
  int id;
  UINT key;
  const char* name;
};
constexpr GlobalKey kGlobalKeys[] = {
    {2, VK_SPACE, "Ctrl+Alt+空格"}, {3, VK_LEFT, "Ctrl+Alt+←"}, {4, VK_RIGHT, "Ctrl+Alt+→"},
    {5, VK_UP, "Ctrl+Alt+↑"},       {6, VK_DOWN, "Ctrl+Alt+↓"}, {7, 'L', "Ctrl+Alt+L"},
};
constexpr int kVolumeKeyStep = 5;

}  // namespace

void hold_media_keys(HWND window, WindowParts& parts, bool held) {
  if (held == parts.media_key_held) return;
  parts.media_key_held = held;
  if (held)
    RegisterHotKey(window, kPlayPauseHotKey, 0, VK_MEDIA_PLAY_PAUSE);
  else
    UnregisterHotKey(window, kPlayPauseHotKey);
}

// A key another program holds is left to it; the names of those come back, for the settings to say.
Text register_global_keys(HWND window) {
  Text taken;
  for (const GlobalKey& k : kGlobalKeys) {
    if (RegisterHotKey(window, k.id, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, k.key)) continue;
    if (!taken.empty()) taken += "、";
    taken += k.name;
  }
  return taken;
}

void unregister_global_keys(HWND window) {
  for (const GlobalKey& k : kGlobalKeys) UnregisterHotKey(window, k.id);
}

// The media keys are other programs' while no song is loaded.
bool on_app_command(WindowParts& parts, LPARAM lparam) {
  if (!parts.media_key_held) return false;
  switch (GET_APPCOMMAND_LPARAM(lparam)) {
    case APPCOMMAND_MEDIA_PLAY_PAUSE: parts.emit(WindowEvent::pause); return true;
    case APPCOMMAND_MEDIA_NEXTTRACK: parts.emit(WindowEvent::next); return true;
    case APPCOMMAND_MEDIA_PREVIOUSTRACK: parts.emit(WindowEvent::previous); return true;
    case APPCOMMAND_MEDIA_STOP: parts.emit(WindowEvent::stop); return true;
    default: return false;
  }
}

bool on_hot_key(WindowParts& parts, WPARAM id) {
  switch (id) {
    case kPlayPauseHotKey:
    case 2: parts.emit(WindowEvent::pause); return true;
    case 3: parts.emit(WindowEvent::previous); return true;
    case 4: parts.emit(WindowEvent::next); return true;
    case 5: strip_step_volume(parts, kVolumeKeyStep); return true;
    case 6: strip_step_volume(parts, -kVolumeKeyStep); return true;
    case 7: parts.emit(WindowEvent::desktop_lyrics); return true;
    default: return false;
  }
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
