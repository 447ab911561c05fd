// Loaded into the program's process by the driver: reads the open popup menu, which only
// the owning process can do.
#include <windows.h>

#include "probe_abi.hpp"

using qiwa::driver::ProbeMenu;

extern "C" __declspec(dllexport) DWORD WINAPI qiwa_probe_menu(void* arg) {
  auto* m = static_cast<ProbeMenu*>(arg);
  auto menu = reinterpret_cast<HMENU>(SendMessageW(m->popup, MN_GETHMENU, 0, 0));
  int n = menu ? GetMenuItemCount(menu) : -1;
  m->count = n < 0 ? -1 : (n > qiwa::driver::kProbeMaxItems ? qiwa::driver::kProbeMaxItems : n);
  for (int i = 0; i < m->count; ++i) {
    auto& item = m->items[i];
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = item.text;
    info.cch = qiwa::driver::kProbeTextChars - 1;
    item.text[0] = 0;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    item.id = info.wID;
    item.state = info.fState;
    item.type = info.fType;
    GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item.rect);
  }
  return 0;
}
