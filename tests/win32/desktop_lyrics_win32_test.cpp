// The desktop lyrics window under the system's own eyes: its styles, the pixels the screen shows of
// it over a window of one colour, a click that goes through it when locked and to its bar when not,
// and its place kept on a monitor.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/win32/desktop_lyrics_paint_win32.hpp"
#include "app/win32/desktop_lyrics_win32.hpp"

namespace qiwa {
namespace {

constexpr COLORREF kBelowColour = RGB(0, 160, 0);
int g_below_clicks = 0;

LRESULT CALLBACK below_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_LBUTTONDOWN) ++g_below_clicks;
  return DefWindowProcW(hwnd, message, wp, lp);
}

struct DesktopLyricsWin32 : ::testing::Test {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  std::unique_ptr<Win32DesktopLyrics> lyrics;
  HWND below = nullptr;  // a plain green window under it, that counts the clicks it gets
  int earlier = 0, locked = 0;
  std::vector<DesktopPlace> moves;

  void SetUp() override {
    g_below_clicks = 0;
    DesktopButtons buttons;
    buttons.earlier = [this] { ++earlier; };
    buttons.locked = [this] { ++locked; };
    buttons.moved = [this](const DesktopPlace& p) { moves.push_back(p); };
    lyrics = Win32DesktopLyrics::create(instance, buttons);
    ASSERT_TRUE(lyrics);
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = below_proc;
    cls.hInstance = instance;
    static const GdiObject green(CreateSolidBrush(kBelowColour));
    cls.hbrBackground = static_cast<HBRUSH>(green.get());
    cls.lpszClassName = L"QiwaTestBelow";
    RegisterClassExW(&cls);
    const RECT r = rect();
    // Never active: destroying the active window makes Wine wait for the display's say.
    below = CreateWindowExW(WS_EX_NOACTIVATE, L"QiwaTestBelow", L"below", WS_POPUP, r.left - 20, r.top - 20,
                            r.right - r.left + 40, r.bottom - r.top + 40, nullptr, nullptr, instance, nullptr);
    ASSERT_TRUE(below);
    ShowWindow(below, SW_SHOWNOACTIVATE);
    lyrics->show({"Sunny 晴天 day", "the next line", "", 0.5});
    lyrics->set_visible(true);
    // Until the screen shows it: the display takes the windows in its own time.
    ASSERT_TRUE(pump_until([&] { return shows(rect(), [](int r, int, int b) { return b > 200 && r < 120; }); }));
  }
  void TearDown() override {
    lyrics.reset();
    if (below) DestroyWindow(below);
  }

  RECT rect() const {
    RECT r{};
    GetWindowRect(lyrics->hwnd(), &r);
    return r;
  }
  // Runs the thread's messages until pred holds, within a bound.
  static bool pump_until(const std::function<bool()>& pred, int rounds = 200) {
    for (int i = 0; i < rounds && !pred(); ++i) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
    }
    return pred();
  }
  // What the screen shows in r, as 0xRRGGBB.
  static std::vector<std::uint32_t> screen(const RECT& r) {
    Canvas copy = make_canvas(r.right - r.left, r.bottom - r.top);
    const WindowDc screen_dc(nullptr);
    BitBlt(copy.dc.get(), 0, 0, copy.width, copy.height, screen_dc.get(), r.left, r.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    return std::vector<std::uint32_t>(copy.pixels, copy.pixels + copy.width * copy.height);
  }
  // Whether some pixel of r on the screen is of the colour asked for.
  static bool shows(const RECT& r, bool (*colour)(int red, int green, int blue)) {
    for (std::uint32_t p : screen(r))
      if (colour((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF)) return true;
    return false;
  }
  static void click_at(POINT p) {
    SetCursorPos(p.x, p.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
  }
  // The middle of the current line's band, on screen.
  POINT line_point() const {
    const RECT r = rect();
    const DesktopLayout l = desktop_layout(r.right - r.left, DesktopPlace::kDefaultTextSize, 96, false);
    return {(r.left + r.right) / 2, r.top + l.current.top + l.current.height / 2};
  }
};

TEST_F(DesktopLyricsWin32, IsABorderlessTopmostLayeredToolWindowClickThroughOnlyWhenLocked) {
  const LONG_PTR style = GetWindowLongPtrW(lyrics->hwnd(), GWL_STYLE), ex = GetWindowLongPtrW(lyrics->hwnd(), GWL_EXSTYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
  for (LONG_PTR bit : {LONG_PTR{WS_EX_LAYERED}, LONG_PTR{WS_EX_TOPMOST}, LONG_PTR{WS_EX_TOOLWINDOW}, LONG_PTR{WS_EX_NOACTIVATE}})
    EXPECT_TRUE(ex & bit) << bit;
  EXPECT_FALSE(ex & WS_EX_TRANSPARENT);
  EXPECT_TRUE(IsWindowVisible(lyrics->hwnd()));
  lyrics->set_locked(true);
  EXPECT_TRUE(GetWindowLongPtrW(lyrics->hwnd(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  lyrics->set_locked(false);
  EXPECT_FALSE(GetWindowLongPtrW(lyrics->hwnd(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
  wchar_t title[64] = {};
  GetWindowTextW(lyrics->hwnd(), title, 64);
  EXPECT_STREQ(title, L"Sunny 晴天 day");  // the line, for whoever reads windows' texts
}

// Over the green window: the glyphs left of the middle in the sung colour, right of it white, both
// outlined dark; the window's empty parts let the green through.
TEST_F(DesktopLyricsWin32, TheScreenShowsTheLineFilledFromTheLeftOverWhatIsBelow) {
  const RECT r = rect();
  const DesktopLayout l = desktop_layout(r.right - r.left, DesktopPlace::kDefaultTextSize, 96, false);
  const std::vector<std::uint32_t> pixels = screen(r);
  const int width = r.right - r.left, middle = width / 2;
  int sung_left = 0, sung_right = 0, white_left = 0, white_right = 0, dark = 0;
  for (int y = l.current.top; y < l.current.top + l.current.height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
      const int red = (p >> 16) & 0xFF, green = (p >> 8) & 0xFF, blue = p & 0xFF;
      const bool sung = blue > 200 && red < 120, white = red > 220 && green > 220 && blue > 220;
      (x < middle ? sung_left : sung_right) += sung;
      (x < middle ? white_left : white_right) += white;
      dark += red < 60 && green < 60 && blue < 60;
    }
  EXPECT_GT(sung_left, 50);
  EXPECT_GT(white_right, 50);
  EXPECT_LT(sung_right, sung_left / 10);
  EXPECT_LT(white_left, white_right / 10);
  EXPECT_GT(dark, 100);  // the outline
  const std::uint32_t empty = pixels[static_cast<std::size_t>(l.current.top) * width + 2];  // the green shows through
  EXPECT_GT((empty >> 8) & 0xFF, 150u);
  EXPECT_LT((empty >> 16) & 0xFF, 20u);
}

TEST_F(DesktopLyricsWin32, LockedAClickGoesThroughToTheWindowBelow) {
  const POINT p = line_point();
  EXPECT_EQ(WindowFromPoint(p), lyrics->hwnd());
  lyrics->set_locked(true);
  EXPECT_EQ(WindowFromPoint(p), below);
  click_at(p);
  EXPECT_TRUE(pump_until([] { return g_below_clicks > 0; }));
}

TEST_F(DesktopLyricsWin32, UnlockedTheHoverBarsButtonsWork) {
  const RECT r = rect();
  const std::vector<RECT> cells = bar_cells(desktop_layout(r.right - r.left, DesktopPlace::kDefaultTextSize, 96, false), 96);
  auto centre = [&](BarButton b) {
    const RECT& c = cells[static_cast<std::size_t>(b)];
    return POINT{r.left + (c.left + c.right) / 2, r.top + (c.top + c.bottom) / 2};
  };
  SetCursorPos(line_point().x, line_point().y);  // the mouse comes over it: the bar shows
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &move, sizeof move);
  const RECT& lock_cell = cells[static_cast<std::size_t>(BarButton::lock)];
  const RECT bar{r.left + lock_cell.left, r.top + lock_cell.top, r.left + lock_cell.right, r.top + lock_cell.bottom};
  ASSERT_TRUE(pump_until([&] { return shows(bar, [](int red, int green, int blue) { return red == 0x1F && green == 0x23 && blue == 0x29; }); }));
  click_at(centre(BarButton::earlier));
  EXPECT_TRUE(pump_until([&] { return earlier == 1; }));
  click_at(centre(BarButton::larger));
  EXPECT_TRUE(pump_until([&] { return !moves.empty(); }));
  EXPECT_EQ(moves.back().text_size, DesktopPlace::kDefaultTextSize + 4);
  EXPECT_GT(rect().bottom - rect().top, r.bottom - r.top);
  const RECT now = rect();
  const std::vector<RECT> cells_now = bar_cells(desktop_layout(now.right - now.left, moves.back().text_size, 96, false), 96);
  const RECT& lock = cells_now[static_cast<std::size_t>(BarButton::lock)];
  click_at({now.left + (lock.left + lock.right) / 2, now.top + (lock.top + lock.bottom) / 2});
  EXPECT_TRUE(pump_until([&] { return locked == 1; }));
  EXPECT_TRUE(GetWindowLongPtrW(lyrics->hwnd(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
}

TEST_F(DesktopLyricsWin32, APlaceOffEveryMonitorComesBackOnOne) {
  DesktopPlace place;
  place.left = -40000;
  place.top = 40000;
  place.width = 600;
  place.placed = true;
  lyrics->set_place(place);
  const RECT r = rect();
  EXPECT_EQ(r.right - r.left, 600);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONULL), &info));
  RECT inside{};
  IntersectRect(&inside, &r, &info.rcWork);
  EXPECT_TRUE(EqualRect(&inside, &r));
  const DesktopPlace kept = lyrics->place();
  EXPECT_EQ(kept.left, r.left);
  EXPECT_EQ(kept.width, 600);
}

// Moved to a monitor of 144 DPI: drawn anew half as large again (not stretched), told as a move.
TEST_F(DesktopLyricsWin32, AtAnotherDpiItIsDrawnAnewToScale) {
  DesktopPlace place;
  place.left = 40;
  place.top = 60;
  place.width = 500;
  place.placed = true;
  lyrics->set_place(place);
  const int white_at_96 = [&] {
    const RECT r = rect();
    int white = 0;
    for (std::uint32_t p : screen(r)) white += (p & 0xFFFFFF) == 0xFFFFFF;
    return white;
  }();
  RECT suggested{30, 50, 30 + 750, 50 + 200};
  SendMessageW(lyrics->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  const RECT r = rect();
  const DesktopLayout at_144 = desktop_layout(750, DesktopPlace::kDefaultTextSize, 144, false);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.right - r.left, 750);
  EXPECT_EQ(r.bottom - r.top, at_144.height);
  EXPECT_GE(at_144.current.font_px, 54);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().width, 500);  // the place is kept at 96 DPI
  EXPECT_EQ(moves.back().text_size, DesktopPlace::kDefaultTextSize);
  int white = 0;
  for (std::uint32_t p : screen(r)) white += (p & 0xFFFFFF) == 0xFFFFFF;
  EXPECT_GT(white, white_at_96 * 3 / 2);
}

TEST_F(DesktopLyricsWin32, TheTimerFiresOnceAndCanBeStopped) {
  int fired = 0;
  lyrics->start_timer(10, [&] { ++fired; });
  EXPECT_TRUE(pump_until([&] { return fired == 1; }));
  lyrics->start_timer(10, [&] { fired += 10; });
  lyrics->stop_timer();
  lyrics->start_timer(10, [&] { fired += 100; });
  EXPECT_TRUE(pump_until([&] { return fired == 101; }));
}

}  // namespace
}  // namespace qiwa
