// Push buttons, check boxes and radio buttons, drawn flat by the skin in place of the system's look.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

constexpr int kTickSize = 16;  // at 96 DPI

bool is_tick_type(LONG style) {
  const LONG type = style & BS_TYPEMASK;
  return !(style & BS_PUSHLIKE) && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
}

bool is_radio(LONG style) {
  const LONG type = style & BS_TYPEMASK;
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

UINT prefix_flag(HWND hwnd) {
  return (SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) ? DT_HIDEPREFIX : 0;
}

struct Label {
  wchar_t text[256];
  int length;
  HFONT font;
};

void paint_push(Canvas& c, HWND hwnd, RECT rc, const Label& label, bool hot) {
  const Skin& s = current_skin();
  const LRESULT state = SendMessageW(hwnd, BM_GETSTATE, 0, 0);
  const bool enabled = IsWindowEnabled(hwnd);
  COLORREF face = (state & (BST_PUSHED | BST_CHECKED)) ? colour(kButtonPressed)
                  : hot                                ? colour(kButtonHover)
                                                       : colour(kButtonFace);
  COLORREF border = (state & BST_PUSHED) ? face : colour(kButtonBorder);
  COLORREF text = colour(kButtonText);
  if (!enabled) {
    face = mix(face, colour(kWindow), 0.5f), border = mix(border, colour(kWindow), 0.5f);
    text = mix(text, face, 0.3f);
  }
  RECT body = rc;
  if (!s.flat) {  // a soft shadow under the button
    --body.bottom;
    c.rounded(RECT{rc.left, rc.top + 1, rc.right, rc.bottom}, s.corner_radius * dpi_scale(hwnd),
              mix(border, colour(kWindow), 0.6f));
  }
  const float k = dpi_scale(hwnd);
  c.box(body, s.corner_radius * k, face, border, k);
  if (GetFocus() == hwnd && !focus_cues_hidden(hwnd)) {
    const int in = scaled(hwnd, 2);
    RECT ring{body.left + in, body.top + in, body.right - in, body.bottom - in};
    c.rounded(ring, (s.corner_radius - 2.0f) * k, mix(face, text, 0.6f), k);
  }
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | prefix_flag(hwnd);
  c.text(label.text, label.length, body, label.font, text, format);
}

RECT tick_rect(HWND hwnd, LONG style, RECT rc) {
  const int size = scaled(hwnd, kTickSize);
  int top = (rc.bottom - size) / 2;
  if ((style & BS_VCENTER) == BS_TOP) top = 2;
  if ((style & BS_VCENTER) == BS_BOTTOM) top = rc.bottom - size - 2;
  const int left = (style & BS_LEFTTEXT) ? rc.right - size - 1 : 1;
  return RECT{left, top, left + size, top + size};
}

void paint_tick(Canvas& c, HWND hwnd, RECT rc, const Label& label, COLORREF text, bool hot) {
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  const int state = static_cast<int>(SendMessageW(hwnd, BM_GETCHECK, 0, 0));
  const bool pressed = SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED;
  const bool enabled = IsWindowEnabled(hwnd);
  const RECT box = tick_rect(hwnd, style, rc);
  const float k = dpi_scale(hwnd);
  if (GetFocus() == hwnd && !focus_cues_hidden(hwnd)) {
    const int out = scaled(hwnd, 2);
    RECT ring{box.left - out, box.top - out, box.right + out, box.bottom + out};
    c.rounded(ring, (is_radio(style) ? kTickSize * 0.5f + 2 : 5.0f) * k, mix(colour(kAccent), colour(kWindow), 0.45f),
              1.5f * k);
  }
  paint_tick_box(c, box, state, hot || pressed, enabled, is_radio(style));
  RECT area = rc;
  if (style & BS_LEFTTEXT) area.right = box.left - scaled(hwnd, 6);
  else area.left = box.right + scaled(hwnd, 7);
  HDC dc = c.dc();
  TEXTMETRICW tm{};
  {
    const Selected font(dc, label.font);
    GetTextMetricsW(dc, &tm);
  }
  // Wrap when asked to, or when the box is tall enough for two lines: long captions stay readable.
  const bool wrap = (style & BS_MULTILINE) || (rc.bottom - rc.top) >= 2 * tm.tmHeight;
  UINT format = DT_NOCLIP | prefix_flag(hwnd) | (wrap ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  if (wrap) {
    RECT measure = area;
    {
      const Selected font(dc, label.font);
      DrawTextW(dc, label.text, label.length, &measure, format | DT_CALCRECT);
    }
    const int shift = ((area.bottom - area.top) - (measure.bottom - measure.top)) / 2;
    if (shift > 0) area.top += shift;
  }
  c.text(label.text, label.length, area, label.font, enabled ? text : colour(kTextDisabled), format);
}

void paint_button(HWND hwnd, HDC dc, bool hot) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas c(dc, rc.right, rc.bottom);
  if (!c.ok()) return;
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  const bool tick = is_tick_type(style);
  COLORREF text;
  c.fill(parent_colours(hwnd, c.dc(), tick ? WM_CTLCOLORSTATIC : WM_CTLCOLORBTN, &text));
  Label label;
  label.length = GetWindowTextW(hwnd, label.text, 256);
  label.font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  if (!label.font) label.font = font();
  if (tick) paint_tick(c, hwnd, rc, label, text, hot);
  else paint_push(c, hwnd, rc, label, hot);
  c.copy_to(dc, 0, 0);
}

// Messages after which the button's own procedure may have drawn its system look directly.
bool redraws(UINT msg) {
  switch (msg) {
    case BM_SETSTATE: case BM_SETCHECK: case BM_SETSTYLE: case BM_CLICK: case WM_SETFOCUS: case WM_KILLFOCUS:
    case WM_ENABLE: case WM_SETTEXT: case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN: case WM_KEYUP: case WM_CAPTURECHANGED: case WM_UPDATEUISTATE: case WM_SETFONT:
      return true;
    default: return false;
  }
}

}  // namespace

LRESULT button_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  if (kind_of(hwnd, GetWindowLongW(hwnd, GWL_STYLE)) != Kind::kButton)  // its style changed since
    return DefSubclassProc(hwnd, msg, wp, lp);
  return self_painted_message(hwnd, msg, wp, lp, hot, paint_button, redraws);
}

}  // namespace qiwa::skin
