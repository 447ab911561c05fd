// The skin's GDI objects. They are made in full before they replace the ones in effect.
#include "theme.hpp"

#include "runtime/win32/handle.hpp"

namespace qiwa::skin {
namespace {

struct Objects {
  Skin skin{};
  GdiObject brushes[kColourCount];
  GdiObject font;
};

Objects g_objects;
bool g_ready = false;

int CALLBACK note_face(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool face_installed(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  const WindowDc screen(nullptr);
  EnumFontFamiliesExW(screen.get(), &query, note_face, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The skin's face when the system has it, else the system's message font face, at the skin's size.
HFONT make_font(const Skin& s) {
  LOGFONTW lf{};
  if (face_installed(s.font_face)) {
    lstrcpynW(lf.lfFaceName, s.font_face, LF_FACESIZE);
  } else {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      lstrcpynW(lf.lfFaceName, metrics.lfMessageFont.lfFaceName, LF_FACESIZE);
  }
  lf.lfHeight = -s.font_size;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  return CreateFontIndirectW(&lf);
}

}  // namespace

COLORREF colour(Colour c) { return g_objects.skin.colour[c]; }
HBRUSH brush(Colour c) { return static_cast<HBRUSH>(g_objects.brushes[c].get()); }
HFONT font() { return static_cast<HFONT>(g_objects.font.get()); }
const Skin& current_skin() { return g_objects.skin; }

bool use_skin(const Skin& s) {
  Objects made;
  made.skin = s;
  for (int i = 0; i < kColourCount; ++i) {
    made.brushes[i].reset(CreateSolidBrush(s.colour[i]));
    if (!made.brushes[i]) return false;
  }
  made.font.reset(make_font(s));
  if (!made.font) return false;
  // The old objects stay alive: windows painted with them may still hold them selected.
  if (g_ready) {
    for (auto& b : g_objects.brushes) b.release();
    g_objects.font.release();
  }
  g_objects.skin = made.skin;
  for (int i = 0; i < kColourCount; ++i) g_objects.brushes[i] = static_cast<GdiObject&&>(made.brushes[i]);
  g_objects.font = static_cast<GdiObject&&>(made.font);
  g_ready = true;
  return true;
}

void give_font(HWND hwnd) {
  HGDIOBJ current = reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  if (current && current != GetStockObject(DEFAULT_GUI_FONT) && current != GetStockObject(SYSTEM_FONT)) return;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font()), FALSE);
}

bool is_default_brush(HBRUSH b) {
  return !b || b == GetSysColorBrush(COLOR_3DFACE) || b == GetSysColorBrush(COLOR_WINDOW) ||
         b == GetSysColorBrush(COLOR_BTNFACE);
}

COLORREF mix(COLORREF from, COLORREF to, float amount) {
  auto channel = [&](int shift) {
    const float a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
    return static_cast<COLORREF>(a + (b - a) * amount + 0.5f) << shift;
  };
  return channel(0) | channel(8) | channel(16);
}

}  // namespace qiwa::skin
