// The smallest Win32 window program of ours: the yardstick for the program's start-up and memory.
#include <windows.h>

namespace {

LRESULT CALLBACK procedure(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, m, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW c{};
  c.lpfnWndProc = procedure;
  c.hInstance = instance;
  c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  c.lpszClassName = L"MinimalWindow";
  RegisterClassW(&c);
  HWND h = CreateWindowW(L"MinimalWindow", L"minimal", WS_OVERLAPPEDWINDOW, 50, 50, 601, 710, nullptr, nullptr,
                         instance, nullptr);
  ShowWindow(h, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
