// The desktop lyrics window: its place on the monitors, the mouse (drag, edges, the hover bar), its
// DPI, its one-shot timer, and when it draws: the lines' masks are made when the lines change, the
// whole window is composed when they or the hover change, and only the columns the fill crossed as
// the line is sung.
#include "app/win32/desktop_lyrics_win32.hpp"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/win32/desktop_lyrics_paint_win32.hpp"
#include "runtime/win32/dpi.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {

using WindowHandle = Handle<SimpleTraits<HWND, &DestroyWindow>>;

namespace {

constexpr wchar_t kWindowClass[] = L"QiwaDesktopLyrics";
constexpr UINT_PTR kTimerId = 1;
constexpr int kDefaultWidth = 1000;  // at 96 DPI; at most four fifths of the monitor
constexpr int kMinWidth = 280;
constexpr int kEdge = 6;            // the grip at the left and right edges, at 96 DPI
constexpr int kTextStep = 4;        // smaller / larger
constexpr int kBottomMargin = 48;   // the default place above the taskbar, at 96 DPI
// The window's empty parts are clear (and let the mouse through) until the mouse comes over the lines
// of an unlocked window: then a shade shows the whole window, to be grabbed anywhere.
constexpr std::uint32_t kHoverBackdrop = 0x600C0D10;  // #1F2329 at 0x60, premultiplied

}  // namespace

struct Win32DesktopLyrics::State {
  DesktopButtons buttons;
  UINT dpi = kBaseDpi;
  DesktopPlace place;
  DesktopLayout layout;
  DesktopPicture picture;
  bool locked = false;
  bool hovered = false;
  int hot = -1;      // the bar's button under the mouse
  int pressed = -1;  // the one the left button went down on
  bool dragging = false;  // the left button went down on the lines: the window follows the mouse
  POINT drag_from{};      // where the mouse and the window were then, on the screen
  POINT drag_origin{};
  Canvas canvas;
  LineMask current, translation, next;
  int fill_x = 0;  // columns left of it are drawn sung
  std::vector<RECT> cells;
  std::function<void()> timer;
  WindowHandle window;  // last: destroyed first, while the rest is still there

  HWND hwnd() const { return window.get(); }
};

namespace {

using State = Win32DesktopLyrics::State;

State* state_of(HWND hwnd) { return reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

std::uint32_t backdrop(const State& s) { return s.hovered && !s.locked ? kHoverBackdrop : 0; }

int fill_x_of(const State& s, double fill) {
  return s.current.ink_left + static_cast<int>(std::floor(std::clamp(fill, 0.0, 1.0) * s.current.ink_width));
}

RECT work_area_of(const RECT& r) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

// Inside the work area of the monitor it is on, or nearest to: a monitor taken away leaves none lost.
RECT kept_on_monitor(const RECT& r) {
  const RECT work = work_area_of(r);
  const int w = std::min<int>(r.right - r.left, work.right - work.left);
  const int h = std::min<int>(r.bottom - r.top, work.bottom - work.top);
  const int left = std::clamp(static_cast<int>(r.left), static_cast<int>(work.left), static_cast<int>(work.right) - w);
  const int top = std::clamp(static_cast<int>(r.top), static_cast<int>(work.top), static_cast<int>(work.bottom) - h);
  return {left, top, left + w, top + h};
}

// The place in pixels at the window's DPI; unplaced, centred above the bottom of the main monitor.
RECT rect_of(const State& s) {
  if (s.place.placed) return {s.place.left, s.place.top, s.place.left + s.layout.width, s.place.top + s.layout.height};
  const POINT origin{0, 0};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &info);
  const RECT& work = info.rcWork;
  const int left = (work.left + work.right - s.layout.width) / 2;
  const int top = work.bottom - s.layout.height - at_dpi(kBottomMargin, s.dpi);
  return {left, top, left + s.layout.width, top + s.layout.height};
}

int width_px(const State& s) {
  if (s.place.width > 0) return std::max(at_dpi(kMinWidth, s.dpi), at_dpi(s.place.width, s.dpi));
  const RECT work = work_area_of(rect_of(s));
  return std::min(at_dpi(kDefaultWidth, s.dpi), static_cast<int>(work.right - work.left) * 4 / 5);
}

void relayout(State& s) {
  s.layout = desktop_layout(width_px(s), s.place.text_size, s.dpi, !s.picture.translation.empty());
  s.cells = bar_cells(s.layout, s.dpi);
}

// Hands the canvas to the system; `dirty`, when given, is all that changed.
void present(State& s, const RECT* dirty) {
  if (!s.canvas.pixels) return;
  POINT source{0, 0};
  SIZE size{s.canvas.width, s.canvas.height};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UPDATELAYEREDWINDOWINFO info{sizeof info, nullptr, nullptr, &size, s.canvas.dc.get(), &source, 0, &blend, ULW_ALPHA, dirty};
  UpdateLayeredWindowIndirect(s.hwnd(), &info);
}

// Every band from its masks, over the backdrop; the bar on top while hovered.
void compose(State& s) {
  if (s.canvas.width != s.layout.width || s.canvas.height != s.layout.height)
    s.canvas = make_canvas(s.layout.width, s.layout.height);
  if (!s.canvas.pixels) return;
  const std::uint32_t back = backdrop(s);
  fill_canvas(s.canvas, back);
  s.fill_x = fill_x_of(s, s.picture.fill);
  compose_band(s.canvas, s.current, s.layout.current.top, 0, s.layout.width, s.fill_x, {kSungColour, kUnsungColour}, back);
  compose_band(s.canvas, s.translation, s.layout.translation.top, 0, s.layout.width, 0, {kSecondColour, kSecondColour}, back);
  compose_band(s.canvas, s.next, s.layout.next.top, 0, s.layout.width, 0, {kSecondColour, kSecondColour}, back);
  if (s.hovered && !s.locked) draw_bar(s.canvas, s.cells, s.hot, s.dpi);
  present(s, nullptr);
}

// The lines drawn anew: after they, the size or the DPI changed.
void remask(State& s) {
  relayout(s);
  s.current = line_mask(wide(s.picture.current), s.layout.width, s.layout.current, true);
  s.translation = line_mask(wide(s.picture.translation), s.layout.width, s.layout.translation, false);
  s.next = line_mask(wide(s.picture.next), s.layout.width, s.layout.next, true);
  compose(s);
}

// The fill moved: only the columns between its old and new place.
void refill(State& s, int x) {
  const int from = std::min(x, s.fill_x), to = std::max(x, s.fill_x);
  s.fill_x = x;
  if (!s.canvas.pixels) return;
  compose_band(s.canvas, s.current, s.layout.current.top, from, to, x, {kSungColour, kUnsungColour}, backdrop(s));
  const RECT dirty{from, s.layout.current.top, to, s.layout.current.top + s.layout.current.height};
  present(s, &dirty);
}

// Places the window, at the DPI of the monitor it lands on, kept on a visible one.
void apply_place(State& s) {
  for (int pass = 0; pass < 2; ++pass) {
    relayout(s);
    const RECT r = kept_on_monitor(rect_of(s));
    SetWindowPos(s.hwnd(), HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
    const UINT dpi = window_dpi(s.hwnd());
    if (dpi == s.dpi) break;
    s.dpi = dpi;
  }
  remask(s);
}

// The place as the window stands now, its width and text size at 96 DPI.
DesktopPlace place_now(const State& s) {
  RECT r{};
  GetWindowRect(s.hwnd(), &r);
  DesktopPlace p = s.place;
  p.left = r.left;
  p.top = r.top;
  if (p.width > 0 || p.placed) p.width = MulDiv(r.right - r.left, kBaseDpi, static_cast<int>(s.dpi));
  return p;
}

void tell_moved(State& s) {
  s.place = place_now(s);
  s.place.placed = true;
  if (auto moved = s.buttons.moved) moved(s.place);
}

int cell_at(const State& s, POINT client) {
  if (!s.hovered || s.locked) return -1;
  for (std::size_t i = 0; i < s.cells.size(); ++i)
    if (PtInRect(&s.cells[i], client)) return static_cast<int>(i);
  return -1;
}

LRESULT hit_test(const State& s, POINT screen) {
  if (s.locked) return HTTRANSPARENT;
  POINT p = screen;
  ScreenToClient(s.hwnd(), &p);
  if (cell_at(s, p) >= 0) return HTCLIENT;
  const int edge = at_dpi(kEdge, s.dpi);
  if (p.x < edge) return HTLEFT;
  if (p.x >= s.layout.width - edge) return HTRIGHT;
  return HTCLIENT;  // dragged by our own code: the system's move loop may miss a quick button-up
}

void set_hover(State& s, bool hovered, int hot) {
  if (hovered == s.hovered && hot == s.hot) return;
  s.hovered = hovered;
  s.hot = hot;
  compose(s);
}

void on_mouse_move(State& s, bool client) {
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | (client ? 0u : TME_NONCLIENT), s.hwnd(), 0};
  TrackMouseEvent(&track);
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(s.hwnd(), &p);
  set_hover(s, true, client ? cell_at(s, p) : -1);
}

// The mouse left one part of the window: hover ends only when it left the window itself.
void on_mouse_leave(State& s) {
  POINT p{};
  RECT r{};
  GetCursorPos(&p);
  GetWindowRect(s.hwnd(), &r);
  if (!PtInRect(&r, p)) set_hover(s, false, -1);
}

void change_text_size(State& s, int step) {
  const int size = std::clamp(s.place.text_size + step, DesktopPlace::kMinTextSize, DesktopPlace::kMaxTextSize);
  if (size == s.place.text_size) return;
  s.place = place_now(s);  // a placed window keeps its corner; an unplaced one stays centred
  s.place.text_size = size;
  apply_place(s);
  if (auto moved = s.buttons.moved) moved(s.place);
}

void on_button(State& s, BarButton button) {
  switch (button) {
    case BarButton::lock: {
      auto locked = s.buttons.locked;  // copied: what it runs may replace the buttons
      SetWindowLongPtrW(s.hwnd(), GWL_EXSTYLE, GetWindowLongPtrW(s.hwnd(), GWL_EXSTYLE) | WS_EX_TRANSPARENT);
      s.locked = true;
      s.hovered = false;
      s.hot = -1;
      compose(s);
      if (locked) locked();
      return;
    }
    case BarButton::smaller: return change_text_size(s, -kTextStep);
    case BarButton::larger: return change_text_size(s, kTextStep);
    case BarButton::earlier:
      if (auto earlier = s.buttons.earlier) earlier();
      return;
    case BarButton::later:
      if (auto later = s.buttons.later) later();
      return;
    case BarButton::close: {
      auto closed = s.buttons.closed;
      ShowWindow(s.hwnd(), SW_HIDE);
      set_hover(s, false, -1);
      if (closed) closed();
      return;
    }
  }
}

void on_timer(State& s) {
  KillTimer(s.hwnd(), kTimerId);
  auto fire = std::move(s.timer);
  s.timer = nullptr;
  if (fire) fire();
}

// The user resized it by an edge: the lines are drawn again at the new width.
void on_resized(State& s, int width) {
  if (width == s.layout.width || width <= 0) return;
  s.place.width = MulDiv(width, kBaseDpi, static_cast<int>(s.dpi));
  remask(s);
}

void on_dpi_changed(State& s, UINT dpi, const RECT& suggested) {
  if (dpi == 0) return;
  s.dpi = dpi;
  s.place.left = suggested.left;
  s.place.top = suggested.top;
  s.place.placed = true;
  relayout(s);
  SetWindowPos(s.hwnd(), nullptr, suggested.left, suggested.top, s.layout.width, s.layout.height, SWP_NOZORDER | SWP_NOACTIVATE);
  remask(s);
  tell_moved(s);
}

void keep_on_monitor(State& s) {
  RECT r{};
  GetWindowRect(s.hwnd(), &r);
  const RECT kept = kept_on_monitor(r);
  if (!EqualRect(&kept, &r))
    SetWindowPos(s.hwnd(), nullptr, kept.left, kept.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void end_drag(State& s) {
  if (!std::exchange(s.dragging, false)) return;
  keep_on_monitor(s);
  tell_moved(s);
}

// The window follows the mouse while the left button is down; a button-up missed ends the drag too.
void follow_drag(State& s, WPARAM keys) {
  if (!(keys & MK_LBUTTON)) {
    end_drag(s);
    ReleaseCapture();
    return;
  }
  POINT at{};
  GetCursorPos(&at);
  SetWindowPos(s.hwnd(), nullptr, s.drag_origin.x + at.x - s.drag_from.x, s.drag_origin.y + at.y - s.drag_from.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT on_mouse_button(State& s, UINT message, LPARAM lp) {
  const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  if (message == WM_LBUTTONDOWN) {
    s.pressed = cell_at(s, p);
    SetCapture(s.hwnd());
    if (s.pressed < 0) {
      RECT r{};
      GetWindowRect(s.hwnd(), &r);
      GetCursorPos(&s.drag_from);
      s.drag_origin = {r.left, r.top};
      s.dragging = true;
    }
    return 0;
  }
  ReleaseCapture();
  end_drag(s);
  const int cell = cell_at(s, p);
  if (cell >= 0 && cell == std::exchange(s.pressed, -1)) on_button(s, static_cast<BarButton>(cell));
  return 0;
}

LRESULT on_message(State& s, HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_NCHITTEST: return hit_test(s, {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
    case WM_SETCURSOR: {
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      if (LOWORD(lp) != HTCLIENT || cell_at(s, p) >= 0) break;
      SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
      return TRUE;
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_MOUSEMOVE:
      if (s.dragging) follow_drag(s, wp);
      on_mouse_move(s, true);
      break;
    case WM_NCMOUSEMOVE: on_mouse_move(s, false); break;
    case WM_CAPTURECHANGED: end_drag(s); break;
    case WM_MOUSELEAVE:
    case WM_NCMOUSELEAVE: on_mouse_leave(s); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: return on_mouse_button(s, message, lp);
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONUP: return 0;  // no maximising, no system menu
    case WM_TIMER:
      if (wp == kTimerId) on_timer(s);
      return 0;
    case WM_SIZING: {
      RECT* r = reinterpret_cast<RECT*>(lp);
      r->bottom = r->top + s.layout.height;
      if (r->right - r->left < at_dpi(kMinWidth, s.dpi)) {
        if (wp == WMSZ_LEFT) r->left = r->right - at_dpi(kMinWidth, s.dpi);
        else r->right = r->left + at_dpi(kMinWidth, s.dpi);
      }
      return TRUE;
    }
    case WM_WINDOWPOSCHANGED: {
      const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lp);
      if (!(pos->flags & SWP_NOSIZE)) on_resized(s, pos->cx);
      break;
    }
    case WM_EXITSIZEMOVE:
      keep_on_monitor(s);
      tell_moved(s);
      return 0;
    case WM_DISPLAYCHANGE: keep_on_monitor(s); break;  // a monitor gone or made smaller
    case WM_DPICHANGED: on_dpi_changed(s, LOWORD(wp), *reinterpret_cast<const RECT*>(lp)); return 0;
  }
  return DefWindowProcW(hwnd, message, wp, lp);
}

LRESULT CALLBACK desktop_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  State* s = state_of(hwnd);
  if (!s || !s->hwnd()) return DefWindowProcW(hwnd, message, wp, lp);
  return on_message(*s, hwnd, message, wp, lp);
}

bool register_class(HINSTANCE instance) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = desktop_proc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.lpszClassName = kWindowClass;
  return RegisterClassExW(&cls) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

std::unique_ptr<Win32DesktopLyrics> Win32DesktopLyrics::create(HINSTANCE instance, DesktopButtons buttons) {
  if (!register_class(instance)) return nullptr;
  auto state = std::make_unique<State>();
  state->buttons = std::move(buttons);
  // Tool window: no taskbar button, no Alt+Tab; no activation: clicking it leaves the focus where it is.
  HWND hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kWindowClass,
                              L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, state.get());
  if (!hwnd) return nullptr;
  state->window.reset(hwnd);
  state->dpi = window_dpi(hwnd);
  apply_place(*state);
  return std::unique_ptr<Win32DesktopLyrics>(new Win32DesktopLyrics(std::move(state)));
}

Win32DesktopLyrics::Win32DesktopLyrics(std::unique_ptr<State> state) : state_(std::move(state)) {}

Win32DesktopLyrics::~Win32DesktopLyrics() {
  KillTimer(state_->hwnd(), kTimerId);
  SetWindowLongPtrW(state_->hwnd(), GWLP_USERDATA, 0);  // its last messages find no state
}

HWND Win32DesktopLyrics::hwnd() const { return state_->hwnd(); }

void Win32DesktopLyrics::show(const DesktopPicture& picture) {
  State& s = *state_;
  if (picture.current != s.picture.current || picture.next != s.picture.next || picture.translation != s.picture.translation) {
    if (picture.current != s.picture.current) SetWindowTextW(s.hwnd(), wide(picture.current).c_str());
    s.picture = picture;
    remask(s);
    return;
  }
  s.picture.fill = picture.fill;
  const int x = fill_x_of(s, picture.fill);
  if (x != s.fill_x) refill(s, x);
}

int Win32DesktopLyrics::line_width_px() { return state_->current.ink_width; }

void Win32DesktopLyrics::set_visible(bool visible) {
  if (!visible) {
    ShowWindow(hwnd(), SW_HIDE);
    return;
  }
  ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
  SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32DesktopLyrics::set_locked(bool locked) {
  State& s = *state_;
  const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, locked ? style | WS_EX_TRANSPARENT : style & ~static_cast<LONG_PTR>(WS_EX_TRANSPARENT));
  s.locked = locked;
  s.hovered = false;
  s.hot = -1;
  compose(s);
}

void Win32DesktopLyrics::set_place(const DesktopPlace& place) {
  State& s = *state_;
  s.place = place;
  s.place.text_size = std::clamp(place.text_size, DesktopPlace::kMinTextSize, DesktopPlace::kMaxTextSize);
  apply_place(s);
}

DesktopPlace Win32DesktopLyrics::place() { return place_now(*state_); }

void Win32DesktopLyrics::start_timer(int delay_ms, std::function<void()> fire) {
  state_->timer = std::move(fire);
  SetTimer(hwnd(), kTimerId, static_cast<UINT>(std::max(USER_TIMER_MINIMUM, delay_ms)), nullptr);
}

void Win32DesktopLyrics::stop_timer() {
  KillTimer(hwnd(), kTimerId);
  state_->timer = nullptr;
}

}  // namespace qiwa
