// Tab controls drawn as a row of flat chips: the chosen one filled with the accent, the one under the
// mouse tinted. Items, their places and the choice are read from the control, which keeps its keys.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

int hot_tab(HWND hwnd) {
  TCHITTESTINFO hit{};
  GetCursorPos(&hit.pt);
  ScreenToClient(hwnd, &hit.pt);
  return static_cast<int>(SendMessageW(hwnd, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

struct Look {
  COLORREF fill, border, text;
};

Look look_of(bool chosen, bool lit, bool enabled) {
  Look l{colour(kControl), colour(kEditBorder), colour(kText)};
  if (chosen) {
    l = {colour(kAccent), colour(kAccent), colour(kButtonText)};
  } else if (lit) {
    l.fill = mix(colour(kControl), colour(kAccent), 0.1f);
    l.border = mix(colour(kEditBorder), colour(kAccent), 0.5f);
  }
  if (!enabled) {
    l.fill = mix(l.fill, colour(kWindow), 0.55f), l.border = mix(l.border, colour(kWindow), 0.55f);
    l.text = chosen ? mix(l.text, l.fill, 0.3f) : colour(kTextDisabled);
  }
  return l;
}

void paint_tabs(HWND hwnd, HDC dc, bool hot) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas c(dc, rc.right, rc.bottom);
  if (!c.ok()) return;
  COLORREF text;
  c.fill(parent_colours(hwnd, c.dc(), WM_CTLCOLORSTATIC, &text));
  HFONT f = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  const int count = static_cast<int>(SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0));
  const int chosen = static_cast<int>(SendMessageW(hwnd, TCM_GETCURSEL, 0, 0));
  const int focused = static_cast<int>(SendMessageW(hwnd, TCM_GETCURFOCUS, 0, 0));
  const int lit = hot ? hot_tab(hwnd) : -1;
  const bool enabled = IsWindowEnabled(hwnd);
  const bool ring = GetFocus() == hwnd && !focus_cues_hidden(hwnd);
  const float k = dpi_scale(hwnd);
  const float radius = current_skin().corner_radius * k;
  for (int i = 0; i < count; ++i) {
    RECT item;
    if (!SendMessageW(hwnd, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) continue;
    const Look l = look_of(i == chosen, i == lit, enabled);
    c.box(item, radius, l.fill, l.border, k);
    if (ring && i == focused) {
      const int in = scaled(hwnd, 2);
      c.rounded(RECT{item.left + in, item.top + in, item.right - in, item.bottom - in}, radius - in,
                mix(l.fill, l.text, 0.6f), k);
    }
    wchar_t buffer[128] = L"";
    TCITEMW ti{};
    ti.mask = TCIF_TEXT, ti.pszText = buffer, ti.cchTextMax = 128;
    SendMessageW(hwnd, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&ti));
    c.text(buffer, -1, item, f ? f : font(), l.text,
           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  c.copy_to(dc, 0, 0);
}

// Messages after which the control may have drawn its system look, or its items or choice changed.
bool tabs_redraw(UINT msg) {
  switch (msg) {
    case TCM_SETCURSEL: case TCM_SETCURFOCUS: case TCM_INSERTITEMW: case TCM_INSERTITEMA:
    case TCM_SETITEMW: case TCM_SETITEMA: case TCM_DELETEITEM: case TCM_DELETEALLITEMS:
    case TCM_SETITEMSIZE: case TCM_HIGHLIGHTITEM:
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_KEYDOWN: case WM_KEYUP:
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_ENABLE: case WM_SETFONT: case WM_CAPTURECHANGED:
    case WM_UPDATEUISTATE: case WM_SIZE: case WM_MOUSEMOVE:  // the lit tab follows the mouse
      return true;
    default: return false;
  }
}

}  // namespace

LRESULT tabs_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  return self_painted_message(hwnd, msg, wp, lp, hot, paint_tabs, tabs_redraw);
}

}  // namespace qiwa::skin
