// Shapes are drawn by coverage of each pixel, so rounded corners and ticks have smooth edges.
#include "draw.hpp"

#include "runtime/win32/dpi.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float max0(float v) { return v > 0 ? v : 0; }
float length(float x, float y) { return __builtin_sqrtf(x * x + y * y); }

// Signed distance from (px, py) to the edge of a rounded rectangle; negative inside.
float rounded_distance(const RECT& r, float radius, float px, float py) {
  const float cx = (r.left + r.right) * 0.5f, cy = (r.top + r.bottom) * 0.5f;
  const float qx = __builtin_fabsf(px - cx) - ((r.right - r.left) * 0.5f - radius);
  const float qy = __builtin_fabsf(py - cy) - ((r.bottom - r.top) * 0.5f - radius);
  const float inner = qx > qy ? qx : qy;
  return length(max0(qx), max0(qy)) + (inner < 0 ? inner : 0) - radius;
}

float segment_distance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  const float t = len2 > 0 ? clamp01(((px - ax) * dx + (py - ay) * dy) / len2) : 0;
  return length(px - ax - t * dx, py - ay - t * dy);
}

std::uint32_t to_pixel(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }
COLORREF from_pixel(std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

}  // namespace

float dpi_scale(HWND hwnd) { return static_cast<float>(window_dpi(hwnd)) / kBaseDpi; }

Canvas::Canvas(HDC target, int width, int height) : width_(width), height_(height) {
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  dc_.reset(CreateCompatibleDC(target));
  void* bits = nullptr;
  bitmap_.reset(CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc_ || !bitmap_ || !bits) return;
  selected_.emplace(dc_.get(), bitmap_.get());
  bits_ = static_cast<std::uint32_t*>(bits);
}

Canvas::~Canvas() { selected_.reset(); }  // the bitmap leaves the DC before either is deleted

void Canvas::fill(HBRUSH b) {
  RECT all{0, 0, width_, height_};
  FillRect(dc_.get(), &all, b);
  GdiFlush();
}

void Canvas::fill(RECT r, COLORREF c) {
  GdiFlush();
  for (int y = r.top < 0 ? 0 : r.top; y < r.bottom && y < height_; ++y)
    for (int x = r.left < 0 ? 0 : r.left; x < r.right && x < width_; ++x) bits_[y * width_ + x] = to_pixel(c);
}

void Canvas::blend(int x, int y, COLORREF c, float amount) {
  if (amount <= 0 || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  std::uint32_t& p = bits_[y * width_ + x];
  p = to_pixel(amount >= 1 ? c : mix(from_pixel(p), c, amount));
}

void Canvas::rounded(RECT r, float radius, COLORREF c, float ring) {
  GdiFlush();
  const float limit = ((r.right - r.left) < (r.bottom - r.top) ? (r.right - r.left) : (r.bottom - r.top)) * 0.5f;
  if (radius > limit) radius = limit;
  // A pixel whose centre lies `inside` or more from every edge is at least that deep in the shape, past
  // the corners' arcs and the ring: wholly covered (a fill) or wholly uncovered (a ring). Only the band
  // along the edges is worked out pixel by pixel.
  const float reach = radius > ring ? radius : ring;
  const int inside = static_cast<int>(__builtin_ceilf(reach > 0 ? reach : 0)) + 2;
  for (int y = r.top; y < r.bottom; ++y) {
    const bool deep_row = y >= r.top + inside && y < r.bottom - inside;
    const int deep_from = deep_row ? r.left + inside : r.right, deep_to = deep_row ? r.right - inside : r.right;
    for (int x = r.left; x < r.right; ++x) {
      if (x >= deep_from && x < deep_to) {
        if (ring <= 0) blend(x, y, c, 1);
        continue;
      }
      const float d = rounded_distance(r, radius, x + 0.5f, y + 0.5f);
      float cover = clamp01(0.5f - d);
      if (ring > 0) cover -= clamp01(0.5f - (d + ring));
      blend(x, y, c, cover);
    }
  }
}

void Canvas::box(RECT r, float radius, COLORREF fill, COLORREF border, float border_width) {
  if (border_width > 0 && border != fill) rounded(r, radius, border, border_width);
  const int w = static_cast<int>(border_width);
  RECT inner{r.left + w, r.top + w, r.right - w, r.bottom - w};
  rounded(border != fill ? inner : r, radius - (border != fill ? border_width : 0), fill);
}

void Canvas::stroke(const float* xy, int n, float width, COLORREF c) {
  GdiFlush();
  float x0 = xy[0], x1 = xy[0], y0 = xy[1], y1 = xy[1];
  for (int i = 1; i < n; ++i) {
    x0 = xy[2 * i] < x0 ? xy[2 * i] : x0, x1 = xy[2 * i] > x1 ? xy[2 * i] : x1;
    y0 = xy[2 * i + 1] < y0 ? xy[2 * i + 1] : y0, y1 = xy[2 * i + 1] > y1 ? xy[2 * i + 1] : y1;
  }
  const int pad = static_cast<int>(width) + 2;
  for (int y = static_cast<int>(y0) - pad; y <= static_cast<int>(y1) + pad; ++y) {
    for (int x = static_cast<int>(x0) - pad; x <= static_cast<int>(x1) + pad; ++x) {
      float d = 1e9f;
      for (int i = 0; i + 1 < n; ++i) {
        const float s = segment_distance(x + 0.5f, y + 0.5f, xy[2 * i], xy[2 * i + 1], xy[2 * i + 2], xy[2 * i + 3]);
        d = s < d ? s : d;
      }
      blend(x, y, c, clamp01(0.5f - (d - width * 0.5f)));
    }
  }
}

void Canvas::text(const wchar_t* s, int length, RECT r, HFONT f, COLORREF c, UINT format) {
  const Selected font(dc_.get(), f);
  SetBkMode(dc_.get(), TRANSPARENT);
  SetTextColor(dc_.get(), c);
  DrawTextW(dc_.get(), s, length, &r, format);
}

void Canvas::copy_to(HDC target, int x, int y) const {
  GdiFlush();
  BitBlt(target, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
}

void paint_tick_box(Canvas& c, RECT r, int state, bool hot, bool enabled, bool round) {
  const float size = static_cast<float>(r.right - r.left);
  const float k = size / 16.0f;  // the box is 16 px at 96 DPI
  const float radius = round ? size * 0.5f : 3.0f * k;
  const COLORREF bg = colour(kControl);
  COLORREF fill = state ? (hot ? colour(kButtonHover) : colour(kAccent)) : bg;
  COLORREF border = state ? fill : (hot ? colour(kAccent) : colour(kEditBorder));
  if (!enabled) fill = mix(fill, colour(kWindow), 0.55f), border = mix(border, colour(kWindow), 0.55f);
  c.box(r, radius, fill, border, k > 1 ? k : 1);
  const COLORREF mark = colour(kButtonText);
  const float x = static_cast<float>(r.left), y = static_cast<float>(r.top);
  if (state == 1 && round) {
    const int d = static_cast<int>(6 * k + 0.5f);
    RECT dot{r.left + (r.right - r.left - d) / 2, r.top + (r.bottom - r.top - d) / 2, 0, 0};
    dot.right = dot.left + d, dot.bottom = dot.top + d;
    c.rounded(dot, d * 0.5f, mark);
  } else if (state == 1) {
    const float tick[] = {x + 4.0f * k, y + 8.3f * k, x + 6.9f * k, y + 11.0f * k, x + 12.0f * k, y + 5.4f * k};
    c.stroke(tick, 3, 1.7f * k, mark);
  } else if (state == 2) {
    const float dash[] = {x + 4.5f * k, y + 8.0f * k, x + 11.5f * k, y + 8.0f * k};
    c.stroke(dash, 2, 1.7f * k, mark);
  }
}

}  // namespace qiwa::skin
