#pragma once
// The desktop lyrics' pixels: where each line goes at a DPI and text size, each line's text as an
// alpha mask with its outline, and the premultiplied BGRA the layered window is drawn from.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/win32/handle.hpp"

namespace qiwa {

// A band of the window, full width: its top, height, the font's pixel height and the outline's radius.
struct Band {
  int top = 0;
  int height = 0;
  int font_px = 0;
  int outline = 0;
};

// From the top: the hover bar, the current line, its translation (when there is one), the next line.
struct DesktopLayout {
  int width = 0;
  int height = 0;
  Band bar, current, translation, next;
};
DesktopLayout desktop_layout(int width_px, int text_size, UINT dpi, bool translation);

// The text drawn in a band of the layout's width: coverage of the glyphs and of their outline, 0-255.
struct LineMask {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> ink;
  std::vector<std::uint8_t> outline;
  int ink_left = 0;   // where the text begins and how wide it is, in the band
  int ink_width = 0;
};
// Centred, shrunk to fit the width when it is too long; empty text gives an empty mask.
LineMask line_mask(const std::wstring& text, int width, const Band& band, bool bold);

// The window's pixels: a top-down 32-bit DIB selected into a memory DC, as UpdateLayeredWindow takes it.
struct Canvas {
  Canvas() = default;
  Canvas(Canvas&& other) noexcept { *this = std::move(other); }
  Canvas& operator=(Canvas&& other) noexcept;

  int width = 0;
  int height = 0;
  std::uint32_t* pixels = nullptr;  // premultiplied 0xAARRGGBB
  MemoryDc dc;
  GdiObject bitmap;
  std::unique_ptr<Selected> selected;  // released first: the DC lets go of the bitmap before it goes
};
Canvas make_canvas(int width, int height);

struct LineInk {
  std::uint32_t before;  // 0xRRGGBB of the glyphs left of the fill (the sung part)
  std::uint32_t after;   // and right of it
};
inline constexpr std::uint32_t kSungColour = 0x4A80F0;
inline constexpr std::uint32_t kUnsungColour = 0xFFFFFF;
inline constexpr std::uint32_t kSecondColour = 0xE6EAF0;  // the next line and the translation
inline constexpr std::uint32_t kOutlineColour = 0x1F2329;
inline constexpr std::uint32_t kBarColour = 0x1F2329;
inline constexpr std::uint32_t kBarHotColour = 0x2F6BEA;

// Columns [x0, x1) of a band: the mask's glyphs over their outline over `backdrop` (premultiplied),
// glyphs left of fill_x in ink.before.
void compose_band(Canvas& canvas, const LineMask& mask, int top, int x0, int x1, int fill_x, const LineInk& ink,
                  std::uint32_t backdrop);
void fill_canvas(Canvas& canvas, std::uint32_t backdrop);

// The hover bar's buttons, in order, and where each is drawn.
enum class BarButton { lock, smaller, larger, earlier, later, close };
inline constexpr int kBarButtons = 6;
std::vector<RECT> bar_cells(const DesktopLayout& layout, UINT dpi);
// Draws the bar opaque into the canvas, the button under the mouse (-1 for none) lit.
void draw_bar(Canvas& canvas, const std::vector<RECT>& cells, int hot, UINT dpi);

}  // namespace qiwa
