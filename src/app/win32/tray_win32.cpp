// The notification area's icon: the song playing as its tip, a left click shows the window, a right
// click its menu (play/pause, previous, next, desktop lyrics, show the window, exit). It comes back after
// the shell restarts (TaskbarCreated) and goes at exit.
#include <windows.h>

#include <shellapi.h>

#include "app/layout.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

constexpr UINT kTrayId = 1;
enum TrayItem : UINT { kPause = 3001, kPrevious, kNext, kLyrics, kLock, kShow, kExit };

NOTIFYICONDATAW icon_data(HWND hwnd) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = hwnd;
  data.uID = kTrayId;
  return data;
}

void set_tip(NOTIFYICONDATAW& data, std::string_view tip) {
  data.uFlags |= NIF_TIP;
  lstrcpynW(data.szTip, wide(tip).c_str(), static_cast<int>(std::size(data.szTip)));
}

}  // namespace

UINT taskbar_created_message() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

void add_tray_icon(HWND hwnd, const WindowParts& parts) {
  NOTIFYICONDATAW data = icon_data(hwnd);
  data.uFlags = NIF_ICON | NIF_MESSAGE;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM));
  set_tip(data, parts.tray_tip.empty() ? Text(kWindowTitle) : parts.tray_tip);
  Shell_NotifyIconW(NIM_ADD, &data);
}

void remove_tray_icon(HWND hwnd) {
  NOTIFYICONDATAW data = icon_data(hwnd);
  Shell_NotifyIconW(NIM_DELETE, &data);
}

void set_tray_tip(HWND hwnd, WindowParts& parts, std::string_view tip) {
  parts.tray_tip = Text(tip);
  NOTIFYICONDATAW data = icon_data(hwnd);
  set_tip(data, tip);
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

void show_main_window(HWND hwnd) {
  ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd);
}

// The icon's menu, where the cursor is; what the user picks comes as the window's events.
void on_tray_message(HWND hwnd, WindowParts& parts, LPARAM lparam) {
  const UINT what = LOWORD(lparam);
  if (what == WM_LBUTTONUP) return show_main_window(hwnd);
  if (what != WM_RBUTTONUP && what != WM_CONTEXTMENU) return;
  MenuHandle menu(CreatePopupMenu());
  if (!menu) return;
  HMENU m = menu.get();
  AppendMenuW(m, MF_STRING, kPause, parts.paused ? L"播放" : L"暂停");
  AppendMenuW(m, MF_STRING, kPrevious, L"上一首");
  AppendMenuW(m, MF_STRING, kNext, L"下一首");
  AppendMenuW(m, MF_STRING | (parts.desktop_lyrics_on ? MF_CHECKED : 0), kLyrics, wide(kDesktopLyricsItem).c_str());
  AppendMenuW(m, MF_STRING | (parts.desktop_lyrics_locked ? MF_CHECKED : 0), kLock, wide(kDesktopLockItem).c_str());
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING, kShow, L"显示窗口");
  AppendMenuW(m, MF_STRING, kExit, L"退出");
  POINT at{};
  GetCursorPos(&at);
  SetForegroundWindow(hwnd);  // so the menu closes when the user clicks elsewhere
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(m, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, hwnd, nullptr));
  PostMessageW(hwnd, WM_NULL, 0, 0);
  switch (chosen) {
    case kPause: parts.emit(WindowEvent::pause); break;
    case kPrevious: parts.emit(WindowEvent::previous); break;
    case kNext: parts.emit(WindowEvent::next); break;
    case kLyrics: parts.emit(WindowEvent::desktop_lyrics); break;
    case kLock: parts.emit(WindowEvent::desktop_lock); break;
    case kShow: show_main_window(hwnd); break;
    case kExit:
      parts.exiting = true;
      PostMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
    default: break;
  }
}

}  // namespace qiwa
