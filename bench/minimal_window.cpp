// The plainest window with the program's ten common controls, at their places and with nothing else
// (no skin, no work behind them): the yardstick for the program's start-up and idle memory.
#include <windows.h>

#include <commctrl.h>

namespace {

LRESULT CALLBACK procedure(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, m, w, l);
}

struct Plain {
  const wchar_t* cls;
  DWORD style;
  int x, y, w, h;
  const wchar_t* text;
};

// The program's controls at 96 DPI: the check box, the lyrics, the picture, four buttons, the list, the
// drop-down and the search box.
constexpr Plain kControls[] = {
    {L"BUTTON", BS_AUTOCHECKBOX | BS_MULTILINE, 472, 0, 120, 45, L"软件退出后删除目录所有下载的音乐"},
    {L"EDIT", WS_VSCROLL | ES_MULTILINE | ES_READONLY, 368, 248, 224, 424, L""},
    {L"STATIC", SS_OWNERDRAW, 368, 48, 224, 192, L""},
    {L"BUTTON", BS_PUSHBUTTON, 136, 637, 80, 32, L"暂停播放"},
    {L"BUTTON", BS_PUSHBUTTON, 1, 637, 103, 32, L"播放并下载"},
    {L"BUTTON", BS_PUSHBUTTON, 280, 637, 80, 32, L"加载更多"},
    {WC_LISTVIEWW, LVS_REPORT, -150, 56, 510, 576, L""},
    {WC_COMBOBOXW, CBS_DROPDOWNLIST, 371, 14, 100, 180, L""},
    {L"BUTTON", BS_PUSHBUTTON, 278, 16, 80, 32, L"搜索"},
    {L"EDIT", ES_AUTOHSCROLL, 6, 12, 264, 40, L""},
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX common{sizeof common, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  WNDCLASSW c{};
  c.lpfnWndProc = procedure;
  c.hInstance = instance;
  c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = L"MinimalWindow";
  RegisterClassW(&c);
  HWND h = CreateWindowW(L"MinimalWindow", L"minimal", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50,
                         50, 601, 760, nullptr, nullptr, instance, nullptr);
  for (const Plain& p : kControls)
    CreateWindowExW(0, p.cls, p.text, WS_CHILD | WS_VISIBLE | p.style, p.x, p.y, p.w, p.h, h, nullptr, instance,
                    nullptr);
  ShowWindow(h, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
