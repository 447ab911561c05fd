#pragma once
// A window's DPI, as the program and the skin library both read it.
#include <windows.h>

#include "runtime/win32/handle.hpp"

namespace qiwa {

inline constexpr int kBaseDpi = 96;  // the DPI layouts and drawings are written at

// GetDpiForWindow is Windows 10's; before it, the screen's DPI is every window's.
inline UINT window_dpi(HWND hwnd) {
  using ForWindow = UINT(WINAPI*)(HWND);
  static const auto for_window = reinterpret_cast<ForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = for_window && hwnd ? for_window(hwnd) : 0;
  if (!dpi) {
    const WindowDc screen(nullptr);
    dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSY)) : kBaseDpi;
  }
  return dpi ? dpi : kBaseDpi;
}

// A length given at 96 DPI, at `dpi`.
inline int at_dpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), kBaseDpi); }

}  // namespace qiwa
