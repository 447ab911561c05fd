// Horizontal track bars drawn flat: a rounded channel, the part up to the thumb in the accent, the
// selection range (what a stream has brought so far) in a tint of it, the rest plain, a round thumb.
// Everything is read back from the control (its rectangles, range, position and selection), so the
// control keeps its own keyboard, mouse and accessibility behaviour and the program knows nothing of it.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

struct Track {
  RECT channel{}, thumb{};
  LONG low = 0, high = 0, position = 0, sel_start = 0, sel_end = 0;
  bool selection = false;  // TBS_ENABLESELRANGE
};

Track read_track(HWND hwnd) {
  Track t;
  SendMessageW(hwnd, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&t.channel));
  SendMessageW(hwnd, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&t.thumb));
  t.low = static_cast<LONG>(SendMessageW(hwnd, TBM_GETRANGEMIN, 0, 0));
  t.high = static_cast<LONG>(SendMessageW(hwnd, TBM_GETRANGEMAX, 0, 0));
  t.position = static_cast<LONG>(SendMessageW(hwnd, TBM_GETPOS, 0, 0));
  t.selection = GetWindowLongW(hwnd, GWL_STYLE) & TBS_ENABLESELRANGE;
  if (t.selection) {
    t.sel_start = static_cast<LONG>(SendMessageW(hwnd, TBM_GETSELSTART, 0, 0));
    t.sel_end = static_cast<LONG>(SendMessageW(hwnd, TBM_GETSELEND, 0, 0));
  }
  return t;
}

// The thumb stays inside the channel: its centre moves from half a thumb after the channel's left end
// (the lowest value) to half a thumb before its right end (the highest).
int low_end(const Track& t) { return t.channel.left + (t.thumb.right - t.thumb.left) / 2; }
int high_end(const Track& t) {
  const int x = t.channel.right - (t.thumb.right - t.thumb.left + 1) / 2;
  return x > low_end(t) ? x : low_end(t);
}

// Where a value lies along the channel.
int x_of(const Track& t, LONG value) {
  const LONG span = t.high - t.low;
  if (span <= 0 || value <= t.low) return low_end(t);
  if (value >= t.high) return high_end(t);
  const long long travel = high_end(t) - low_end(t);
  return low_end(t) + static_cast<int>(travel * (value - t.low) / span);
}

// A stretch of the channel from x0 to x1, as a pill `thick` high around `mid`.
void channel_part(Canvas& c, int x0, int x1, int mid, int thick, COLORREF colour) {
  if (x1 < x0) return;
  const int half = thick / 2;
  c.rounded(RECT{x0 - half, mid - half, x1 + thick - half, mid + thick - half}, thick * 0.5f, colour);
}

void paint_track_bar(HWND hwnd, HDC dc, bool hot) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas c(dc, rc.right, rc.bottom);
  if (!c.ok()) return;
  COLORREF text;
  c.fill(parent_colours(hwnd, c.dc(), WM_CTLCOLORSTATIC, &text));
  const Track t = read_track(hwnd);
  const bool enabled = IsWindowEnabled(hwnd);
  const bool held = GetCapture() == hwnd;
  auto faded = [&](COLORREF x) { return enabled ? x : mix(x, colour(kWindow), 0.55f); };
  // Sizes follow the thumb the program asked for, so they grow with the DPI like the control does.
  const int thumb_h = t.thumb.bottom - t.thumb.top;
  const int thick = thumb_h / 4 > 2 ? thumb_h / 4 : 2;
  const int mid = (t.thumb.top + t.thumb.bottom) / 2;
  const int at = (t.thumb.left + t.thumb.right) / 2;
  channel_part(c, low_end(t), high_end(t), mid, thick, faded(colour(kEditBorder)));
  if (t.selection && t.sel_end > t.sel_start)
    channel_part(c, x_of(t, t.sel_start), x_of(t, t.sel_end), mid, thick,
                 faded(mix(colour(kAccent), colour(kControl), 0.6f)));
  channel_part(c, low_end(t), at, mid, thick, faded(colour(kAccent)));
  const float k = dpi_scale(hwnd);
  int d = thumb_h * 3 / 4;
  if (d < t.thumb.right - t.thumb.left) d = t.thumb.right - t.thumb.left;
  const RECT knob{at - d / 2, mid - d / 2, at - d / 2 + d, mid - d / 2 + d};
  if (GetFocus() == hwnd && !focus_cues_hidden(hwnd)) {
    const int out = scaled(hwnd, 2) + 1;
    const RECT ring{knob.left - out, knob.top - out, knob.right + out, knob.bottom + out};
    c.rounded(ring, (d + 2 * out) * 0.5f, mix(colour(kAccent), colour(kWindow), 0.45f), 1.5f * k);
  }
  const COLORREF fill = held ? colour(kButtonPressed) : hot ? colour(kButtonHover) : colour(kAccent);
  c.box(knob, d * 0.5f, faded(fill), faded(fill), k);
  c.copy_to(dc, 0, 0);
}

// Input after which the control may have drawn its own look, or its thumb's state changed.
bool input_redraws(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_KEYDOWN: case WM_KEYUP:
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_ENABLE: case WM_CAPTURECHANGED: case WM_UPDATEUISTATE:
    case WM_MOUSEWHEEL:
      return true;
    case WM_MOUSEMOVE: return GetCapture() != nullptr;  // a drag moves the thumb
    default: return false;
  }
}

// Changes of range, position or selection; the control repaints only the thumb's old and new places,
// the skin's channel colours depend on all of them.
bool state_changes(UINT msg) {
  switch (msg) {
    case TBM_SETPOS: case TBM_SETRANGE: case TBM_SETRANGEMIN: case TBM_SETRANGEMAX: case TBM_SETSEL:
    case TBM_SETSELSTART: case TBM_SETSELEND: case TBM_CLEARSEL: case TBM_SETTHUMBLENGTH: case WM_SIZE:
    case WM_STYLECHANGED: case WM_SETFONT:
      return true;
    default: return false;
  }
}

}  // namespace

LRESULT track_bar_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  if (kind_of(hwnd, GetWindowLongW(hwnd, GWL_STYLE)) != Kind::kTrackBar)  // turned vertical since
    return DefSubclassProc(hwnd, msg, wp, lp);
  const LRESULT r = self_painted_message(hwnd, msg, wp, lp, hot, paint_track_bar, input_redraws);
  if (state_changes(msg)) InvalidateRect(hwnd, nullptr, FALSE);
  return r;
}

}  // namespace qiwa::skin
