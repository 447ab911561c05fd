// The strip below the design's controls: previous, play/pause and next, the play mode, the lists, the
// volume and the seek bar with its time. Standard controls (buttons, track bars, a tab control, a
// tooltip), so that screen readers and test drivers can work them, skinned like the rest.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "app/layout.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr int kFirstStripId = 1101;
constexpr std::int64_t kSeekStepMs = 5000;  // Left and Right
constexpr int kVolumeStep = 5;              // Up and Down, a notch of the wheel

HWND strip_control(const WindowParts& parts, StripRole role) { return parts.control(role); }

DWORD style_of(StripKind kind) {
  constexpr DWORD child = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  switch (kind) {
    case StripKind::button: return child | BS_PUSHBUTTON;
    case StripKind::track_bar: return child | TBS_HORZ | TBS_NOTICKS | TBS_BOTH;
    case StripKind::text: return WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX;
    case StripKind::tabs: return child | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_FIXEDWIDTH | TCS_FOCUSNEVER;
  }
  return child;
}

const wchar_t* class_of(StripKind kind) {
  switch (kind) {
    case StripKind::button: return L"BUTTON";
    case StripKind::track_bar: return TRACKBAR_CLASSW;
    case StripKind::text: return L"STATIC";
    case StripKind::tabs: return WC_TABCONTROLW;
  }
  return L"STATIC";
}

// The tip a control shows under the cursor: the mode's name, the volume, what a button does.
void add_tip(const WindowParts& parts, HWND control, std::string_view text) {
  if (!parts.tooltips || !control) return;
  std::wstring tip = wide(text);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = parts.hwnd;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = tip.data();
  if (!SendMessageW(parts.tooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info)))
    SendMessageW(parts.tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(parts.tooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void setup(WindowParts& parts, const StripLayout& layout, HWND control) {
  switch (layout.role) {
    case StripRole::volume:
      SendMessageW(control, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
      SendMessageW(control, TBM_SETLINESIZE, 0, kVolumeStep);
      SendMessageW(control, TBM_SETPAGESIZE, 0, 10);
      SendMessageW(control, TBM_SETPOS, TRUE, 100);
      add_tip(parts, control, "音量 100");
      break;
    case StripRole::seek:
      SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | TBS_ENABLESELRANGE);
      SendMessageW(control, TBM_SETRANGEMAX, TRUE, 0);
      break;
    case StripRole::lists:
      for (int i = 0; i < static_cast<int>(std::size(kListTabs)); ++i) {
        std::wstring text = wide(kListTabs[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(control, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
      }
      break;
    case StripRole::mode: add_tip(parts, control, layout.text); break;
    case StripRole::previous: add_tip(parts, control, "上一首 (Ctrl+←)"); break;
    case StripRole::next: add_tip(parts, control, "下一首 (Ctrl+→)"); break;
    case StripRole::play_pause: add_tip(parts, control, "播放/暂停 (空格)"); break;
    default: break;
  }
}

// The seek bar's steps stand for whole seconds up to some hours, coarser beyond, so that its range
// stays within a track bar's.
std::int64_t scale_for(std::int64_t span_ms) { return std::max<std::int64_t>(1000, span_ms / 30000); }

void set_text_if_changed(HWND control, const Text& text) {
  const std::wstring now = wide(text);
  wchar_t shown[64] = {};
  if (GetWindowTextW(control, shown, 64) == static_cast<int>(now.size()) && now == shown) return;
  SetWindowTextW(control, now.c_str());
}

Text clock_text(std::int64_t ms) {
  if (ms < 0) ms = 0;
  const std::int64_t total = ms / 1000, h = total / 3600, m = total / 60 % 60, s = total % 60;
  if (h > 0) return to_text(h) + ":" + to_text(m, 2) + ":" + to_text(s, 2);
  return to_text(total / 60) + ":" + to_text(s, 2);
}

void emit_seek(WindowParts& parts, std::int64_t ms) {
  parts.seek_target_ms = std::clamp<std::int64_t>(ms, 0, std::max(parts.time.available_ms, std::int64_t{0}));
  parts.emit(WindowEvent::seek);
}

}  // namespace

bool create_strip(HWND hwnd, WindowParts& parts) {
  parts.tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                   parts.instance, nullptr);
  for (const StripLayout& layout : strip_layout()) {
    const auto index = static_cast<int>(layout.role);
    HWND control = CreateWindowExW(0, class_of(layout.kind), wide(layout.text).c_str(), style_of(layout.kind), 0, 0, 0,
                                   0, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstStripId + index)),
                                   parts.instance, nullptr);
    if (!control) return false;
    parts.strip[static_cast<std::size_t>(index)] = control;
    setup(parts, layout, control);
  }
  place_strip(parts);
  strip_show_time(parts, {});
  return true;
}

namespace {

// The tabs share the strip's width. The gap between two tabs is the system's own, and a last tab that
// comes near the edge makes the control put scroll arrows over it: then every tab is made narrower.
void fit_tabs(HWND tabs, const Rect& r, UINT dpi) {
  const int count = static_cast<int>(std::size(kListTabs));
  const int room = r.width - at_dpi(16, dpi);  // the control's own margin after the last tab, and some
  int width = r.width / count - at_dpi(8, dpi);
  for (int attempt = 0; attempt < 4 && width > 0; ++attempt) {
    SendMessageW(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(width, r.height - 2));
    RECT last{};
    if (!SendMessageW(tabs, TCM_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&last)) || last.right <= room)
      return;
    width -= (last.right - room + count - 1) / count;
  }
}

}  // namespace

void place_strip(WindowParts& parts) {
  for (const StripLayout& layout : strip_layout()) {
    HWND control = strip_control(parts, layout.role);
    const Rect r = at_dpi(layout.rect, parts.dpi);
    SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(parts.ui_font.get()), TRUE);
    if (layout.kind == StripKind::tabs) fit_tabs(control, r, parts.dpi);
    if (layout.kind == StripKind::track_bar)
      SendMessageW(control, TBM_SETTHUMBLENGTH, static_cast<WPARAM>(r.height * 2 / 3), 0);
  }
}

bool on_strip_command(WindowParts& parts, HWND from, int code) {
  if (code != BN_CLICKED) return false;
  if (from == strip_control(parts, StripRole::previous)) parts.emit(WindowEvent::previous);
  else if (from == strip_control(parts, StripRole::next)) parts.emit(WindowEvent::next);
  else if (from == strip_control(parts, StripRole::play_pause)) parts.emit(WindowEvent::pause);
  else if (from == strip_control(parts, StripRole::mode)) parts.emit(WindowEvent::mode);
  else return false;
  return true;
}

// The seek bar follows the user's hand while held and seeks where it is let go (or moved by its keys);
// the volume bar takes effect as it moves.
bool on_strip_scroll(WindowParts& parts, HWND from, int code) {
  if (from == strip_control(parts, StripRole::volume)) {
    add_tip(parts, from, "音量 " + std::to_string(strip_volume(parts)));
    if (code != TB_ENDTRACK) parts.emit(WindowEvent::volume);
    return true;
  }
  if (from != strip_control(parts, StripRole::seek)) return false;
  const auto step = static_cast<std::int64_t>(SendMessageW(from, TBM_GETPOS, 0, 0));
  if (code == TB_THUMBTRACK) {
    parts.seek_dragging = true;
    SetWindowTextW(strip_control(parts, StripRole::time),
                   wide(clock_text(step * parts.seek_scale_ms) + " / " +
                        (parts.time.duration_ms ? clock_text(*parts.time.duration_ms) : Text("--:--"))).c_str());
    return true;
  }
  if (code == TB_ENDTRACK) {
    parts.seek_dragging = false;
    return true;
  }
  emit_seek(parts, step * parts.seek_scale_ms);  // let go, clicked on the channel, or moved by a key
  return true;
}

bool on_strip_notify(WindowParts& parts, const NMHDR& header) {
  if (header.hwndFrom != strip_control(parts, StripRole::lists) || header.code != static_cast<UINT>(TCN_SELCHANGE))
    return false;
  parts.emit(WindowEvent::list_chosen);
  return true;
}

// The wheel over the volume bar turns the volume, wherever the focus is.
bool on_volume_wheel(WindowParts& parts, int delta) {
  POINT at{};
  GetCursorPos(&at);
  RECT bar{};
  GetWindowRect(strip_control(parts, StripRole::volume), &bar);
  if (!PtInRect(&bar, at)) return false;
  strip_step_volume(parts, delta > 0 ? kVolumeStep : -kVolumeStep);
  return true;
}

// The range is the song's length (or what has arrived, while it is not known), the selection the part
// that has arrived: what lies beyond it cannot be sought into.
void strip_show_time(WindowParts& parts, const SongTime& time) {
  parts.time = time;
  HWND bar = strip_control(parts, StripRole::seek);
  const std::int64_t span = std::max(time.duration_ms.value_or(time.available_ms), time.available_ms);
  parts.seek_scale_ms = scale_for(span);
  const auto steps = [&](std::int64_t ms) { return static_cast<LPARAM>(ms / parts.seek_scale_ms); };
  if (parts.seek_dragging) return;
  // Only what changed is sent: a control told anything repaints, and under Wine a repaint of the strip
  // costs milliseconds, while the tick comes four times a second and the text changes once.
  const LPARAM max = steps(span), arrived = steps(time.available_ms), at = steps(time.elapsed_ms);
  const bool range_moved = SendMessageW(bar, TBM_GETRANGEMAX, 0, 0) != max;
  if (range_moved) SendMessageW(bar, TBM_SETRANGEMAX, FALSE, max);
  if (range_moved || SendMessageW(bar, TBM_GETSELEND, 0, 0) != arrived)
    SendMessageW(bar, TBM_SETSEL, TRUE, MAKELPARAM(0, arrived));
  if (range_moved || SendMessageW(bar, TBM_GETPOS, 0, 0) != at) SendMessageW(bar, TBM_SETPOS, TRUE, at);
  set_text_if_changed(strip_control(parts, StripRole::time),
                      clock_text(time.elapsed_ms) + " / " + (time.duration_ms ? clock_text(*time.duration_ms) : "--:--"));
}

void strip_step_volume(WindowParts& parts, int by) {
  strip_set_volume(parts, strip_volume(parts) + by);
  parts.emit(WindowEvent::volume);
}

void strip_set_volume(WindowParts& parts, int volume) {
  volume = std::clamp(volume, 0, 100);
  HWND bar = strip_control(parts, StripRole::volume);
  SendMessageW(bar, TBM_SETPOS, TRUE, volume);
  add_tip(parts, bar, "音量 " + std::to_string(volume));
}

int strip_volume(const WindowParts& parts) {
  return static_cast<int>(SendMessageW(strip_control(parts, StripRole::volume), TBM_GETPOS, 0, 0));
}

void strip_show_mode(WindowParts& parts, std::string_view name) {
  HWND button = strip_control(parts, StripRole::mode);
  SetWindowTextW(button, wide(name).c_str());
  add_tip(parts, button, name);
}

void strip_show_list(WindowParts& parts, ListKind list) {
  SendMessageW(strip_control(parts, StripRole::lists), TCM_SETCURSEL, static_cast<WPARAM>(list), 0);
}

ListKind strip_chosen_list(const WindowParts& parts) {
  const auto index = static_cast<int>(SendMessageW(strip_control(parts, StripRole::lists), TCM_GETCURSEL, 0, 0));
  return index >= 0 && index < static_cast<int>(kListKindCount) ? static_cast<ListKind>(index) : ListKind::search;
}

void strip_follow_pause(WindowParts& parts) {
  SetWindowTextW(strip_control(parts, StripRole::play_pause), wide(parts.paused ? kPlayCaption : kPauseShortCaption).c_str());
}

// Keys the focused control does not use itself: the list keeps Up/Down, the drop-down and the track bars
// their arrows, the search box every key.
bool on_player_key(WindowParts& parts, HWND focus, WPARAM key) {
  if (focus == parts.control(Role::search_box)) return false;
  wchar_t cls[32] = L"";
  if (focus) GetClassNameW(focus, cls, 32);
  const bool combo = focus == parts.control(Role::catalogue) || GetParent(focus) == parts.control(Role::catalogue);
  const bool bar = lstrcmpiW(cls, TRACKBAR_CLASSW) == 0;
  const bool list = focus == parts.control(Role::results);
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool arrows_taken = combo || bar;
  switch (key) {
    case VK_SPACE:
      if (list || (focus && lstrcmpiW(cls, L"BUTTON") == 0)) return false;  // a check box or a button's own
      parts.emit(WindowEvent::pause);
      return true;
    case VK_LEFT:
    case VK_RIGHT:
      if (arrows_taken) return false;
      if (ctrl) {
        parts.emit(key == VK_LEFT ? WindowEvent::previous : WindowEvent::next);
      } else {
        emit_seek(parts, parts.time.elapsed_ms + (key == VK_LEFT ? -kSeekStepMs : kSeekStepMs));
      }
      return true;
    case VK_UP:
    case VK_DOWN:
      if (arrows_taken || list) return false;
      strip_step_volume(parts, key == VK_UP ? kVolumeStep : -kVolumeStep);
      return true;
    case 'D':
      if (!ctrl) return false;
      parts.emit(WindowEvent::favourite);
      return true;
    default: return false;
  }
}

}  // namespace qiwa
