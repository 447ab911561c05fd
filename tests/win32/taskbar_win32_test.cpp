// The taskbar thumbnail's toolbar: its glyphs are drawn at the size asked for, smooth-edged and the same
// shape at every size; a click on each of its buttons asks for what the strip's button asks for.
#include <windows.h>
#include <gtest/gtest.h>

#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

// The share of the glyph's box it covers, and the centre of what it covers, as fractions of the box.
struct Shape {
  double cover = 0, cx = 0, cy = 0;
};
Shape shape_of(const std::vector<std::uint8_t>& alpha, int size) {
  Shape s;
  double sum = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double a = alpha[static_cast<std::size_t>(y * size + x)] / 255.0;
      sum += a;
      s.cx += a * (x + 0.5);
      s.cy += a * (y + 0.5);
    }
  s.cover = sum / (size * size);
  s.cx /= sum * size;
  s.cy /= sum * size;
  return s;
}

TEST(TaskbarWin32, GlyphsKeepTheirShapeAtEveryDpiWithSmoothEdges) {
  for (const ThumbGlyph g : {ThumbGlyph::previous, ThumbGlyph::pause, ThumbGlyph::play, ThumbGlyph::next}) {
    SCOPED_TRACE(static_cast<int>(g));
    const Shape at96 = shape_of(thumb_glyph_coverage(g, 16), 16);
    EXPECT_GT(at96.cover, 0.15);
    EXPECT_LT(at96.cover, 0.5);
    EXPECT_NEAR(at96.cy, 0.5, 0.02);  // upright, centred
    for (const int size : {20, 24, 32}) {
      const std::vector<std::uint8_t> alpha = thumb_glyph_coverage(g, size);
      const Shape s = shape_of(alpha, size);
      EXPECT_NEAR(s.cover, at96.cover, 0.03) << size;
      EXPECT_NEAR(s.cx, at96.cx, 0.02) << size;
      // Edges that cross a pixel cover it in part: smoothed, not stepped.
      EXPECT_TRUE(std::any_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a > 0 && a < 255; })) << size;
      EXPECT_TRUE(make_thumb_glyph(g, size)) << size;
    }
  }
  // Previous is next mirrored; play and next point right: their triangles are taller at the left.
  const std::vector<std::uint8_t> next = thumb_glyph_coverage(ThumbGlyph::next, 24);
  const std::vector<std::uint8_t> previous = thumb_glyph_coverage(ThumbGlyph::previous, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(previous[static_cast<std::size_t>(y * 24 + x)], next[static_cast<std::size_t>(y * 24 + 23 - x)]);
  const auto column = [](const std::vector<std::uint8_t>& alpha, int x) {
    int height = 0;
    for (int y = 0; y < 24; ++y) height += alpha[static_cast<std::size_t>(y * 24 + x)] > 127;
    return height;
  };
  EXPECT_GT(column(next, 7), column(next, 14));
  const std::vector<std::uint8_t> play = thumb_glyph_coverage(ThumbGlyph::play, 24);
  EXPECT_GT(column(play, 9), column(play, 17));
}

TEST(TaskbarWin32, EachButtonAsksForWhatTheStripsButtonDoes) {
  WindowParts parts;
  std::vector<WindowEvent> heard;
  parts.handler = [&](WindowEvent e) { heard.push_back(e); };
  for (WORD id = 0; id <= 4; ++id) EXPECT_EQ(on_thumb_button(parts, MAKEWPARAM(id, THBN_CLICKED)), id >= 1 && id <= 3) << id;
  EXPECT_FALSE(on_thumb_button(parts, MAKEWPARAM(2, BN_CLICKED)));  // a control's own command, not the toolbar's
  EXPECT_EQ(heard, (std::vector<WindowEvent>{WindowEvent::previous, WindowEvent::pause, WindowEvent::next}));
}

}  // namespace
}  // namespace qiwa
