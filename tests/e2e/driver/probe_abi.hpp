#pragma once
// Layout shared by the driver and qiwa_probe.dll, which runs inside the program's process.
#include <windows.h>

namespace qiwa::driver {

inline constexpr int kProbeMaxItems = 16;
inline constexpr int kProbeTextChars = 128;

struct ProbeItem {
  UINT id, state, type;
  RECT rect;
  wchar_t text[kProbeTextChars];
};

struct ProbeMenu {
  HWND popup;  // in: the #32768 window
  int count;   // out: items, -1 when the window holds no menu
  ProbeItem items[kProbeMaxItems];
};

}  // namespace qiwa::driver
