// The desktop lyrics' pixels. GDI draws text, but writes no alpha: each line is drawn white on black
// into a scratch DIB, whose grey is the glyphs' coverage; the outline is that coverage grown by a few
// pixels. The window's pixels are then composed from the masks in premultiplied BGRA.
#include "app/win32/desktop_lyrics_paint_win32.hpp"

#include <algorithm>
#include <cwchar>

#include "runtime/win32/dpi.hpp"

namespace qiwa {
namespace {

constexpr int kOutlineAlpha = 230;  // the outline a little see-through, so it does not look cut out

COLORREF colorref(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

int CALLBACK face_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool has_face(const wchar_t* face) {
  const WindowDc screen(nullptr);
  LOGFONTW font{};
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  if (screen) EnumFontFamiliesExW(screen.get(), &font, face_found, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The first installed of the faces that hold both Chinese and Latin letters; else the system's choice.
const wchar_t* lyrics_face() {
  static const wchar_t* const face = [] {
    for (const wchar_t* f : {L"Microsoft YaHei UI", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"SimHei"})
      if (has_face(f)) return f;
    return L"";
  }();
  return face;
}

GdiObject make_font(int px, bool bold) {
  LOGFONTW font{};
  font.lfHeight = -std::max(6, px);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfQuality = ANTIALIASED_QUALITY;  // grey edges: a coverage to read back, never ClearType's colours
  wcsncpy(font.lfFaceName, lyrics_face(), LF_FACESIZE - 1);
  return GdiObject(CreateFontIndirectW(&font));
}

SIZE text_extent(HDC dc, HGDIOBJ font, const std::wstring& text) {
  const Selected selected(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

// Each pixel the largest coverage within `radius` of it (a square), in two passes.
std::vector<std::uint8_t> grown(const std::vector<std::uint8_t>& in, int width, int height, int radius) {
  std::vector<std::uint8_t> across(in.size()), out(in.size());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = &in[static_cast<std::size_t>(y) * width];
    for (int x = 0; x < width; ++x)
      across[static_cast<std::size_t>(y) * width + x] =
          *std::max_element(row + std::max(0, x - radius), row + std::min(width, x + radius + 1));
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t most = 0;
      for (int k = std::max(0, y - radius); k < std::min(height, y + radius + 1); ++k)
        most = std::max(most, across[static_cast<std::size_t>(k) * width + x]);
      out[static_cast<std::size_t>(y) * width + x] = most;
    }
  return out;
}

}  // namespace

DesktopLayout desktop_layout(int width_px, int text_size, UINT dpi, bool translation) {
  DesktopLayout l;
  l.width = std::max(1, width_px);
  auto band = [&](int top, int font_px, bool present) {
    const int outline = std::max(1, (font_px + 8) / 16);
    return Band{top, present ? font_px * 4 / 3 + 2 * outline : 0, font_px, outline};
  };
  const int font = at_dpi(text_size, dpi), second = std::max(at_dpi(10, dpi), font * 3 / 5);
  l.bar = Band{at_dpi(4, dpi), at_dpi(26, dpi), at_dpi(12, dpi), 0};
  l.current = band(l.bar.top + l.bar.height + at_dpi(2, dpi), font, true);
  l.translation = band(l.current.top + l.current.height, second, translation);
  l.next = band(l.translation.top + l.translation.height, second, true);
  l.height = l.next.top + l.next.height + at_dpi(4, dpi);
  return l;
}

Canvas make_canvas(int width, int height) {
  Canvas c;
  if (width <= 0 || height <= 0) return c;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  c.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  c.dc.reset(CreateCompatibleDC(nullptr));
  if (!c.bitmap || !c.dc || !bits) return {};
  c.selected = std::make_unique<Selected>(c.dc.get(), c.bitmap.get());
  c.width = width;
  c.height = height;
  c.pixels = static_cast<std::uint32_t*>(bits);
  return c;
}

Canvas& Canvas::operator=(Canvas&& other) noexcept {
  if (this == &other) return *this;
  selected.reset();  // the old bitmap out of the old DC before either goes
  bitmap.reset();
  dc.reset();
  width = std::exchange(other.width, 0);
  height = std::exchange(other.height, 0);
  pixels = std::exchange(other.pixels, nullptr);
  dc = std::move(other.dc);
  bitmap = std::move(other.bitmap);
  selected = std::move(other.selected);
  return *this;
}

LineMask line_mask(const std::wstring& text, int width, const Band& band, bool bold) {
  LineMask m;
  m.width = width;
  m.height = band.height;
  m.ink.assign(static_cast<std::size_t>(std::max(0, width * band.height)), 0);
  m.outline = m.ink;
  if (text.empty() || m.ink.empty()) return m;
  Canvas scratch = make_canvas(width, band.height);
  GdiObject font = make_font(band.font_px, bold);
  if (!scratch.pixels || !font) return m;
  SIZE extent = text_extent(scratch.dc.get(), font.get(), text);
  const int room = width - 2 * band.outline - 2;
  if (extent.cx > room && room > 0) {  // too long: a smaller font that fits
    font = make_font(static_cast<int>(static_cast<long long>(band.font_px) * room / extent.cx), bold);
    extent = text_extent(scratch.dc.get(), font.get(), text);
  }
  m.ink_left = std::max<int>(0, (width - extent.cx) / 2);
  m.ink_width = std::min<int>(extent.cx, width - m.ink_left);
  {
    const Selected selected(scratch.dc.get(), font.get());
    SetTextColor(scratch.dc.get(), RGB(255, 255, 255));
    SetBkMode(scratch.dc.get(), TRANSPARENT);
    TextOutW(scratch.dc.get(), m.ink_left, (band.height - extent.cy) / 2, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
  }
  for (std::size_t i = 0; i < m.ink.size(); ++i) {
    const std::uint32_t p = scratch.pixels[i];
    m.ink[i] = static_cast<std::uint8_t>(std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF}));
  }
  m.outline = grown(m.ink, width, band.height, band.outline);
  return m;
}

void fill_canvas(Canvas& canvas, std::uint32_t backdrop) {
  std::fill(canvas.pixels, canvas.pixels + static_cast<std::size_t>(canvas.width) * canvas.height, backdrop);
}

// Per pixel: the glyph's colour at its coverage, over the outline, over the backdrop; all premultiplied.
void compose_band(Canvas& canvas, const LineMask& mask, int top, int x0, int x1, int fill_x, const LineInk& ink,
                  std::uint32_t backdrop) {
  x0 = std::max(0, x0);
  x1 = std::min({x1, mask.width, canvas.width});
  const int ba = static_cast<int>(backdrop >> 24), br = (backdrop >> 16) & 0xFF, bg = (backdrop >> 8) & 0xFF,
            bb = backdrop & 0xFF;
  constexpr int orr = (kOutlineColour >> 16) & 0xFF, og = (kOutlineColour >> 8) & 0xFF, ob = kOutlineColour & 0xFF;
  for (int y = 0; y < mask.height && top + y < canvas.height; ++y) {
    std::uint32_t* row = canvas.pixels + static_cast<std::size_t>(top + y) * canvas.width;
    const std::size_t at = static_cast<std::size_t>(y) * mask.width;
    for (int x = x0; x < x1; ++x) {
      const int t = mask.ink[at + x], o = mask.outline[at + x] * kOutlineAlpha / 255;
      const std::uint32_t c = x < fill_x ? ink.before : ink.after;
      const int under = o * (255 - t) / 255, a = t + under, rest = 255 - a;
      const int r = (static_cast<int>((c >> 16) & 0xFF) * t + orr * under) / 255 + br * rest / 255;
      const int g = (static_cast<int>((c >> 8) & 0xFF) * t + og * under) / 255 + bg * rest / 255;
      const int b = (static_cast<int>(c & 0xFF) * t + ob * under) / 255 + bb * rest / 255;
      row[x] = static_cast<std::uint32_t>(a + ba * rest / 255) << 24 | static_cast<std::uint32_t>(r) << 16 |
               static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
    }
  }
}

std::vector<RECT> bar_cells(const DesktopLayout& layout, UINT dpi) {
  const int cell = at_dpi(40, dpi);
  const int left = std::max(0, (layout.width - kBarButtons * cell) / 2);
  std::vector<RECT> cells;
  for (int i = 0; i < kBarButtons; ++i)
    cells.push_back(RECT{left + i * cell, layout.bar.top, left + (i + 1) * cell, layout.bar.top + layout.bar.height});
  return cells;
}

// GDI draws the bar opaque on a scratch DIB; its pixels go into the canvas with full alpha.
void draw_bar(Canvas& canvas, const std::vector<RECT>& cells, int hot, UINT dpi) {
  static const wchar_t* const labels[kBarButtons] = {L"锁定", L"A-", L"A+", L"提前", L"延后", L"×"};
  if (cells.empty()) return;
  const RECT whole{cells.front().left, cells.front().top, cells.back().right, cells.back().bottom};
  Canvas bar = make_canvas(whole.right - whole.left, whole.bottom - whole.top);
  GdiObject font = make_font(at_dpi(12, dpi), true), face(CreateSolidBrush(colorref(kBarColour))),
            lit(CreateSolidBrush(colorref(kBarHotColour)));
  if (!bar.pixels || !font) return;
  const RECT all{0, 0, bar.width, bar.height};
  FillRect(bar.dc.get(), &all, static_cast<HBRUSH>(face.get()));
  const Selected selected(bar.dc.get(), font.get());
  SetTextColor(bar.dc.get(), RGB(255, 255, 255));
  SetBkMode(bar.dc.get(), TRANSPARENT);
  for (int i = 0; i < kBarButtons; ++i) {
    RECT r = cells[static_cast<std::size_t>(i)];
    OffsetRect(&r, -whole.left, -whole.top);
    if (i == hot) FillRect(bar.dc.get(), &r, static_cast<HBRUSH>(lit.get()));
    DrawTextW(bar.dc.get(), labels[i], -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  GdiFlush();
  for (int y = 0; y < bar.height && whole.top + y < canvas.height; ++y)
    for (int x = 0; x < bar.width && whole.left + x < canvas.width; ++x)
      canvas.pixels[static_cast<std::size_t>(whole.top + y) * canvas.width + whole.left + x] =
          bar.pixels[static_cast<std::size_t>(y) * bar.width + x] | 0xFF000000u;
}

}  // namespace qiwa
