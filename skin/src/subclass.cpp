// One subclass procedure for every skinned window; it hands each message to its kind's handler.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "runtime/win32/handle.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

constexpr UINT_PTR kSubclassId = 0x51574153;
constexpr DWORD_PTR kHotBit = 0x100;  // refdata: kind in the low byte, the hover flag above it

LRESULT dispatch(Kind kind, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  switch (kind) {
    case Kind::kFrame: return frame_message(hwnd, msg, wp, lp, hot);
    case Kind::kButton: return button_message(hwnd, msg, wp, lp, hot);
    case Kind::kEdit: return edit_message(hwnd, msg, wp, lp, hot);
    case Kind::kCombo: return combo_message(hwnd, msg, wp, lp, hot);
    case Kind::kList: return list_message(hwnd, msg, wp, lp, hot);
    case Kind::kHeader: return header_message(hwnd, msg, wp, lp, hot);
    case Kind::kTrackBar: return track_bar_message(hwnd, msg, wp, lp, hot);
    case Kind::kTabs: return tabs_message(hwnd, msg, wp, lp, hot);
    default: return DefSubclassProc(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK skin_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, skin_proc, kSubclassId);
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  const Kind kind = static_cast<Kind>(ref & 0xFF);
  bool hot = ref & kHotBit;
  const LRESULT result = dispatch(kind, hwnd, msg, wp, lp, hot);
  if (msg == WM_CREATE && result != -1) style_control(hwnd, kind);
  if (hot != static_cast<bool>(ref & kHotBit))
    SetWindowSubclass(hwnd, skin_proc, kSubclassId, (ref & 0xFF) | (hot ? kHotBit : 0));
  return result;
}

bool is_class(const wchar_t* cls, const wchar_t* name) { return lstrcmpiW(cls, name) == 0; }

Kind button_kind(LONG style) {
  if (style & (BS_BITMAP | BS_ICON)) return Kind::kNone;
  switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON: case BS_DEFPUSHBUTTON: case BS_CHECKBOX: case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON: case BS_3STATE: case BS_AUTO3STATE:
      return Kind::kButton;
    default: return Kind::kNone;  // group boxes, owner-drawn, split and command-link buttons
  }
}

BOOL CALLBACK skin_child(HWND hwnd, LPARAM) {
  skin_window(hwnd, GetWindowLongW(hwnd, GWL_STYLE), true);
  return TRUE;
}

BOOL CALLBACK skin_top_level(HWND hwnd, LPARAM) {
  if (skin_window(hwnd, GetWindowLongW(hwnd, GWL_STYLE), true)) {
    EnumChildWindows(hwnd, skin_child, 0);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  return TRUE;
}

}  // namespace

Kind kind_of(HWND hwnd, LONG style) {
  wchar_t cls[32];
  if (!GetClassNameW(hwnd, cls, 32)) return Kind::kNone;
  if (is_class(cls, TOOLTIPS_CLASSW)) return Kind::kTip;
  if (!(style & WS_CHILD))
    return (style & WS_CAPTION) == WS_CAPTION || is_class(cls, L"#32770") ? Kind::kFrame : Kind::kNone;
  if (is_class(cls, L"#32770")) return Kind::kFrame;
  if (is_class(cls, L"Button")) return button_kind(style);
  if (is_class(cls, L"Edit")) return Kind::kEdit;
  if (is_class(cls, L"ComboBox")) return (style & 3) == CBS_DROPDOWNLIST ? Kind::kCombo : Kind::kNone;
  if (is_class(cls, WC_LISTVIEWW)) return (style & LVS_TYPEMASK) == LVS_REPORT ? Kind::kList : Kind::kNone;
  if (is_class(cls, WC_HEADERW)) return Kind::kHeader;
  // Vertical bars, and tabs over pages of their own or drawn by their owner, keep the system's look.
  if (is_class(cls, TRACKBAR_CLASSW)) return (style & TBS_VERT) ? Kind::kNone : Kind::kTrackBar;
  if (is_class(cls, WC_TABCONTROLW))
    return (style & TCS_BUTTONS) && !(style & (TCS_VERTICAL | TCS_OWNERDRAWFIXED)) ? Kind::kTabs : Kind::kNone;
  return Kind::kNone;
}

void style_control(HWND hwnd, Kind kind) {
  if (kind == Kind::kButton || kind == Kind::kEdit || kind == Kind::kCombo || kind == Kind::kList ||
      kind == Kind::kTabs)
    give_font(hwnd);
  if (kind == Kind::kList) style_list(hwnd);
  if (kind == Kind::kTip) style_tip(hwnd);
  if (kind == Kind::kEdit) refresh_padding(hwnd);
}

void style_tip(HWND hwnd) {
  if (SendMessageW(hwnd, TTM_GETTIPBKCOLOR, 0, 0) == static_cast<LRESULT>(GetSysColor(COLOR_INFOBK)))
    SendMessageW(hwnd, TTM_SETTIPBKCOLOR, colour(kControl), 0);
  if (SendMessageW(hwnd, TTM_GETTIPTEXTCOLOR, 0, 0) == static_cast<LRESULT>(GetSysColor(COLOR_INFOTEXT)))
    SendMessageW(hwnd, TTM_SETTIPTEXTCOLOR, colour(kText), 0);
}

bool skin_window(HWND hwnd, LONG style, bool existing) {
  const Kind kind = kind_of(hwnd, style);
  if (kind == Kind::kNone) return false;
  DWORD_PTR ref = 0;
  if (!GetWindowSubclass(hwnd, skin_proc, kSubclassId, &ref) &&
      !SetWindowSubclass(hwnd, skin_proc, kSubclassId, static_cast<DWORD_PTR>(kind)))
    return false;
  if (existing) {
    style_control(hwnd, kind);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
  return true;
}

void skin_thread_windows() { EnumThreadWindows(GetCurrentThreadId(), skin_top_level, 0); }

void track_hover(HWND hwnd, bool& hot) {
  if (hot) return;
  hot = true;
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
  TrackMouseEvent(&track);
}

HBRUSH parent_colours(HWND hwnd, HDC dc, UINT msg, COLORREF* text) {
  HWND parent = GetParent(hwnd);
  HBRUSH b = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, msg, reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(hwnd)))
                    : nullptr;
  if (is_default_brush(b)) {
    *text = colour(kText);
    return brush(kWindow);
  }
  *text = GetTextColor(dc);
  return b;
}

void repaint_now(HWND hwnd, Painter paint, bool hot) {
  if (!IsWindow(hwnd) || !IsWindowVisible(hwnd)) return;
  if (const WindowDc dc(hwnd); dc) paint(hwnd, dc.get(), hot);
}

LRESULT self_painted_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot, Painter paint,
                             bool (*redraws)(UINT)) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      paint(hwnd, dc, hot);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT: paint(hwnd, reinterpret_cast<HDC>(wp), hot); return 0;
    case WM_ERASEBKGND: return 1;
    default: break;
  }
  const bool was = hot;
  if (msg == WM_MOUSEMOVE) track_hover(hwnd, hot);
  if (msg == WM_MOUSELEAVE) hot = false;
  const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
  if (redraws(msg) || hot != was) repaint_now(hwnd, paint, hot);
  return r;
}

bool focus_cues_hidden(HWND hwnd) { return SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS; }

}  // namespace qiwa::skin
