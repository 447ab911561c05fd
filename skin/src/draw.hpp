#pragma once
// Off-screen 32-bit drawing with anti-aliased shapes, copied to the window in one step (no flicker).
#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/win32/handle.hpp"

namespace qiwa::skin {

class Canvas {
 public:
  Canvas(HDC target, int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ok() const { return bits_ != nullptr; }
  HDC dc() const { return dc_.get(); }
  void fill(HBRUSH b);
  void fill(RECT r, COLORREF c);
  // Rounded rectangle filled with `c`; with ring > 0 only a ring of that width inside the edge.
  void rounded(RECT r, float radius, COLORREF c, float ring = 0);
  // Filled rounded rectangle with a border of `border_width` pixels.
  void box(RECT r, float radius, COLORREF fill, COLORREF border, float border_width = 1);
  // Polyline through n points (x0, y0, x1, y1, ...), round-capped.
  void stroke(const float* xy, int n, float width, COLORREF c);
  void text(const wchar_t* s, int length, RECT r, HFONT f, COLORREF c, UINT format);
  void copy_to(HDC target, int x, int y) const;

 private:
  void blend(int x, int y, COLORREF c, float amount);
  MemoryDc dc_;
  GdiObject bitmap_;
  std::optional<Selected> selected_;  // the bitmap, while the canvas lives
  std::uint32_t* bits_ = nullptr;
  int width_, height_;
};

// The window's DPI over 96: the skin draws its borders, ticks and arrows at this scale.
float dpi_scale(HWND hwnd);
// n pixels at 96 DPI, at the window's DPI.
inline int scaled(HWND hwnd, int n) { return static_cast<int>(n * dpi_scale(hwnd) + 0.5f); }

// A flat tick box in `r`: state 0 unticked, 1 ticked, 2 indeterminate; round for radio buttons.
void paint_tick_box(Canvas& c, RECT r, int state, bool hot, bool enabled, bool round);

}  // namespace qiwa::skin
