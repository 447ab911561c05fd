// The window at its monitor's DPI: every position, size and font of the layout (given at 96 DPI) scaled,
// and laid out again when the window moves to a monitor of another DPI.
#include <windows.h>

#include "app/layout.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"

namespace qiwa {

Rect at_dpi(const Rect& r, UINT dpi) { return {at_dpi(r.left, dpi), at_dpi(r.top, dpi), at_dpi(r.width, dpi), at_dpi(r.height, dpi)}; }

int drop_down_height(int field_height, UINT dpi) { return field_height + at_dpi(160, dpi); }  // room for the list

// The system's message font at this DPI (SystemParametersInfoForDpi from Windows 10 on; before, the
// system's metrics are already at the one DPI there is).
GdiObject make_ui_font(UINT dpi) {
  using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto for_dpi = reinterpret_cast<ForDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const BOOL ok = for_dpi ? for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)
                          : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  if (!ok) return {};
  return GdiObject(CreateFontIndirectW(&metrics.lfMessageFont));
}

GdiObject make_lyrics_font(UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -at_dpi(kLyricsLook.height, dpi);
  font.lfWeight = kLyricsLook.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = static_cast<BYTE>(kLyricsLook.charset);
  font.lfQuality = DEFAULT_QUALITY;
  return GdiObject(CreateFontIndirectW(&font));
}

// New fonts, every control at its place at the new DPI, then the window at the rectangle Windows suggests.
void on_dpi_changed(HWND hwnd, WindowParts& parts, UINT dpi, const RECT& suggested) {
  if (dpi == 0 || dpi == parts.dpi) return;
  parts.dpi = dpi;
  GdiObject ui = make_ui_font(dpi), lyrics = make_lyrics_font(dpi);
  for (const ControlLayout& layout : control_layout()) {
    HWND control = parts.control(layout.role);
    const Rect r = at_dpi(layout.rect, dpi);
    const bool drop_down = layout.kind == ControlKind::drop_down;
    SetWindowPos(control, nullptr, r.left, r.top, r.width, drop_down ? drop_down_height(r.height, dpi) : r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    HGDIOBJ font = layout.kind == ControlKind::lyrics_box ? lyrics.get() : ui.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (drop_down) setup_drop_down(control, r.height);
    if (layout.kind == ControlKind::result_list) scale_result_list(control, dpi);
  }
  parts.ui_font = std::move(ui);  // the old fonts go once no control uses them
  parts.lyrics_font = std::move(lyrics);
  place_strip(parts);
  SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qiwa
