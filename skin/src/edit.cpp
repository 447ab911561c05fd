// Edit boxes get a flat border (accent while focused); drop-down lists are drawn as a flat field.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

int border_width(HWND hwnd) {
  const LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
  if (ex & WS_EX_CLIENTEDGE) return 2;
  return ((ex & WS_EX_STATICEDGE) || (GetWindowLongW(hwnd, GWL_STYLE) & WS_BORDER)) ? 1 : 0;
}

// The field colour the parent gives this edit, so the inner edge matches the program's own choice.
COLORREF field_colour(HWND hwnd, HDC dc) {
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  const UINT msg = (style & ES_READONLY) || !IsWindowEnabled(hwnd) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
  HWND parent = GetParent(hwnd);
  const auto b = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, msg, reinterpret_cast<WPARAM>(dc),
                                                                 reinterpret_cast<LPARAM>(hwnd)))
                        : nullptr;
  LOGBRUSH lb{};
  if (b && GetObjectW(b, sizeof lb, &lb) == sizeof lb && lb.lbStyle == BS_SOLID) return lb.lbColor;
  return colour(kControl);
}

COLORREF edge_colour(HWND hwnd, bool hot) {
  const bool editable = !(GetWindowLongW(hwnd, GWL_STYLE) & ES_READONLY) && IsWindowEnabled(hwnd);
  if (GetFocus() == hwnd && editable) return colour(kAccent);
  return hot && editable ? mix(colour(kEditBorder), colour(kText), 0.25f) : colour(kEditBorder);
}

bool single_line(HWND hwnd) { return !(GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE); }

// Single-line edits get inner padding, so their text sits in the middle of a tall box.
void pad_client(HWND hwnd, RECT& rc) {
  if (!single_line(hwnd) || !border_width(hwnd)) return;
  TEXTMETRICW tm{};
  {
    const WindowDc dc(hwnd);
    const Selected font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc.get(), &tm);
  }
  const int spare = (rc.bottom - rc.top) - (tm.tmHeight + 2);
  if (spare >= 2) rc.top += spare / 2, rc.bottom -= spare - spare / 2;
  const int inset = scaled(hwnd, 4);
  if (rc.right - rc.left > 4 * inset) rc.left += inset, rc.right -= inset;
}

void redraw_frame(HWND hwnd) { RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN); }

void paint_combo(HWND hwnd, HDC dc, bool hot) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas c(dc, rc.right, rc.bottom);
  if (!c.ok()) return;
  const bool enabled = IsWindowEnabled(hwnd);
  const bool open = SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0);
  COLORREF edge = (open || GetFocus() == hwnd) ? colour(kAccent)
                  : hot                        ? mix(colour(kEditBorder), colour(kText), 0.25f)
                                               : colour(kEditBorder);
  COLORREF field = enabled ? colour(kControl) : mix(colour(kControl), colour(kWindow), 0.6f);
  COLORREF text;
  c.fill(parent_colours(hwnd, c.dc(), WM_CTLCOLORSTATIC, &text));
  const float k = dpi_scale(hwnd);
  const int radius = current_skin().corner_radius < 4 ? current_skin().corner_radius : 4;
  c.box(rc, radius * k, field, edge, k);
  wchar_t item[256] = L"";
  const LRESULT index = SendMessageW(hwnd, CB_GETCURSEL, 0, 0);
  const LRESULT length = index >= 0 ? SendMessageW(hwnd, CB_GETLBTEXTLEN, index, 0) : CB_ERR;
  if (length >= 0 && length < 256) SendMessageW(hwnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item));
  HFONT f = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  RECT area{rc.left + scaled(hwnd, 8), rc.top, rc.right - scaled(hwnd, 24), rc.bottom};
  c.text(item, -1, area, f ? f : font(), enabled ? colour(kText) : colour(kTextDisabled),
         DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
  const float x = rc.right - 13.0f * k, y = rc.bottom * 0.5f;
  const float chevron[] = {x - 4 * k, y - 2 * k, x, y + 2 * k, x + 4 * k, y - 2 * k};
  c.stroke(chevron, 3, 1.5f * k, enabled ? colour(kHeaderText) : colour(kTextDisabled));
  c.copy_to(dc, 0, 0);
}

bool combo_redraws(UINT msg) {
  switch (msg) {
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_ENABLE: case WM_SETTEXT: case WM_SETFONT: case CB_SETCURSEL:
    case CB_SHOWDROPDOWN: case CB_RESETCONTENT: case CB_DELETESTRING: case WM_LBUTTONDOWN: case WM_LBUTTONUP:
    case WM_KEYDOWN: case WM_CHAR: case WM_COMMAND: case WM_CAPTURECHANGED: case WM_MOUSEWHEEL:
      return true;
    default: return false;
  }
}

}  // namespace

// Draws the border ring over what the control drew; with `pad`, also fills the padding around the client
// area. The client area and (without `pad`) the scroll bars inside the border stay as they are.
void paint_flat_border(HWND hwnd, COLORREF edge, bool pad) {
  const int t = border_width(hwnd);
  if (!t) return;
  RECT wr, client;
  GetWindowRect(hwnd, &wr);
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  OffsetRect(&client, -wr.left, -wr.top);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const WindowDc window(hwnd, true);
  if (!window) return;
  HDC dc = window.get();
  if (pad) ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
  else ExcludeClipRect(dc, t, t, w - t, h - t);
  Canvas c(dc, w, h);
  if (c.ok()) {
    c.fill(brush(kWindow));
    c.box(RECT{0, 0, w, h}, t > 1 ? 3.0f : 0.0f, field_colour(hwnd, c.dc()), edge);
    c.copy_to(dc, 0, 0);
  }
}

void refresh_padding(HWND hwnd) {
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

LRESULT edit_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  const bool was = hot;
  if (msg == WM_MOUSEMOVE) track_hover(hwnd, hot);
  if (msg == WM_MOUSELEAVE) hot = false;
  const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_NCPAINT: paint_flat_border(hwnd, edge_colour(hwnd, hot), single_line(hwnd)); break;
    case WM_NCCALCSIZE: pad_client(hwnd, *reinterpret_cast<RECT*>(lp)); break;
    case WM_SETFONT: refresh_padding(hwnd); break;
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_ENABLE: case EM_SETREADONLY: redraw_frame(hwnd); break;
    default: if (hot != was) redraw_frame(hwnd);
  }
  return r;
}

LRESULT combo_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  return self_painted_message(hwnd, msg, wp, lp, hot, paint_combo, combo_redraws);
}

}  // namespace qiwa::skin
