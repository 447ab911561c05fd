// The skin library's drawing, compiled into the tests: a rounded shape fills its deep inside in bulk
// and works out only the band along its edges; that must give the pixels working out every one gives.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

constexpr int kWidth = 120, kHeight = 80;
constexpr COLORREF kBackground = RGB(30, 60, 90), kInk = RGB(250, 200, 10);

std::uint32_t pixel_of(COLORREF c) { return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c); }
COLORREF colour_of(std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// Every pixel's coverage of the rounded rectangle (a ring of `ring` inside its edge when ring > 0),
// blended over the background.
std::vector<std::uint32_t> expected(RECT r, float radius, float ring) {
  std::vector<std::uint32_t> out(kWidth * kHeight, pixel_of(kBackground));
  const float limit = std::min(r.right - r.left, r.bottom - r.top) * 0.5f;
  radius = std::min(radius, limit);
  for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, kHeight); ++y) {
    for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, kWidth); ++x) {
      const float qx = std::fabs(x + 0.5f - (r.left + r.right) * 0.5f) - ((r.right - r.left) * 0.5f - radius);
      const float qy = std::fabs(y + 0.5f - (r.top + r.bottom) * 0.5f) - ((r.bottom - r.top) * 0.5f - radius);
      const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
      const float d = std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
      float cover = std::clamp(0.5f - d, 0.0f, 1.0f);
      if (ring > 0) cover -= std::clamp(0.5f - (d + ring), 0.0f, 1.0f);
      std::uint32_t& p = out[y * kWidth + x];
      if (cover > 0) p = pixel_of(cover >= 1 ? kInk : mix(colour_of(p), kInk, cover));
    }
  }
  return out;
}

// Apart by more than rounding: a channel off by more than one.
bool apart(std::uint32_t a, std::uint32_t b) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)) > 1) return true;
  return false;
}

// What the canvas drew, read back through a bitmap of our own.
std::vector<std::uint32_t> drawn(RECT r, float radius, float ring) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  MemoryDc dc(CreateCompatibleDC(nullptr));
  GdiObject bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap || !bits) return {};
  const Selected selected(dc.get(), bitmap.get());
  {
    Canvas c(dc.get(), kWidth, kHeight);
    if (!c.ok()) return {};
    c.fill(RECT{0, 0, kWidth, kHeight}, kBackground);
    c.rounded(r, radius, kInk, ring);
    c.copy_to(dc.get(), 0, 0);
  }
  GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> out(p, p + kWidth * kHeight);
  for (auto& v : out) v &= 0xFFFFFF;
  return out;
}

TEST(SkinCanvas, RoundedShapesGiveEveryPixelItsOwnCoverage) {
  const RECT shapes[] = {{10, 10, 110, 70}, {0, 0, 120, 80}, {-7, -5, 60, 40}, {50, 30, 57, 35}, {20, 5, 23, 75}};
  for (const RECT& r : shapes) {
    for (float radius : {-1.0f, 0.0f, 3.0f, 4.5f, 12.0f, 100.0f}) {
      for (float ring : {0.0f, 1.0f, 1.5f, 3.0f}) {
        SCOPED_TRACE(::testing::Message() << "rect " << r.left << "," << r.top << "," << r.right << "," << r.bottom
                                          << " radius " << radius << " ring " << ring);
        const auto want = expected(r, radius, ring), got = drawn(r, radius, ring);
        ASSERT_EQ(got.size(), want.size());
        int wrong = 0;
        for (std::size_t i = 0; i < want.size(); ++i) wrong += apart(got[i], want[i]);
        EXPECT_EQ(wrong, 0);
      }
    }
  }
}

}  // namespace
}  // namespace qiwa::skin
