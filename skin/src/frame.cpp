// Top-level windows and dialogs: the background, the colours they hand their controls, list rows.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

LRESULT erase(HWND hwnd, HDC dc) {
  RECT client;
  GetClientRect(hwnd, &client);
  FillRect(dc, &client, brush(kWindow));
  return 1;
}

bool is_class(HWND hwnd, const wchar_t* name) {
  wchar_t cls[32];
  return GetClassNameW(hwnd, cls, 32) && lstrcmpiW(cls, name) == 0;
}

// The program's own answer wins; only where it gave the system default do the skin's colours apply.
LRESULT control_colours(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const LRESULT own = DefSubclassProc(hwnd, msg, wp, lp);
  if (!is_default_brush(reinterpret_cast<HBRUSH>(own))) return own;
  HDC dc = reinterpret_cast<HDC>(wp);
  HWND control = reinterpret_cast<HWND>(lp);
  const bool field = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX || is_class(control, L"Edit");
  const bool enabled = !control || IsWindowEnabled(control);
  SetTextColor(dc, colour(enabled ? kText : kTextDisabled));
  SetBkColor(dc, colour(field ? kControl : kWindow));
  return reinterpret_cast<LRESULT>(brush(field ? kControl : kWindow));
}

LRESULT notify(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
  const LRESULT own = DefSubclassProc(hwnd, msg, wp, lp);
  if (hdr->code != static_cast<UINT>(NM_CUSTOMDRAW) || own != CDRF_DODEFAULT) return own;
  if (!is_class(hdr->hwndFrom, WC_LISTVIEWW)) return own;
  return paint_list_row(hdr);
}

}  // namespace

LRESULT frame_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool&) {
  switch (msg) {
    case WM_ERASEBKGND: return erase(hwnd, reinterpret_cast<HDC>(wp));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG: return control_colours(hwnd, msg, wp, lp);
    case WM_NOTIFY: return notify(hwnd, msg, wp, lp);
    default: return DefSubclassProc(hwnd, msg, wp, lp);
  }
}

}  // namespace qiwa::skin
