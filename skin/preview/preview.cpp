// A window laid out like the program's main window, to look at the skin. "plain" as argument: no skin.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "skin/skin_blobs.hpp"
#include "skin/skin_entry.hpp"

namespace {

HBRUSH g_white = CreateSolidBrush(RGB(255, 255, 255));
HWND g_lyrics = nullptr;

HWND add(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int x, int y, int w, int h) {
  return CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, nullptr, nullptr, nullptr);
}

void fill_list(HWND list) {
  const wchar_t* heads[] = {L"uid", L"pid", L"lid", L"歌名", L"歌手", L"专辑"};
  const int widths[] = {50, 50, 50, 150, 100, 100};
  for (int i = 0; i < 6; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH, c.cx = widths[i], c.pszText = const_cast<wchar_t*>(heads[i]);
    ListView_InsertColumn(list, i, &c);
  }
  const wchar_t* rows[][3] = {{L"晴天", L"周杰伦", L"叶惠美"}, {L"夜曲", L"周杰伦", L"十一月的萧邦"},
                              {L"后来", L"刘若英", L"我等你"}, {L"稻香", L"周杰伦", L"魔杰座"},
                              {L"小幸运", L"田馥甄", L"小幸运"}, {L"平凡之路", L"朴树", L"猎户星座"}};
  for (int r = 0; r < 6; ++r) {
    LVITEMW it{};
    it.mask = LVIF_TEXT, it.iItem = r, it.pszText = const_cast<wchar_t*>(L"1");
    ListView_InsertItem(list, &it);
    for (int c = 0; c < 3; ++c) ListView_SetItemText(list, r, 3 + c, const_cast<wchar_t*>(rows[r][c]));
  }
  ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
  SetPropW(list, L"QiwaPlayingRow", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(3)));  // row 2 plays
}

// The strip below: the buttons, the lists as tabs, the volume, the seek bar with a part still to come.
void create_strip(HWND w) {
  const wchar_t* buttons[] = {L"上一首", L"暂停", L"下一首", L"顺序播放"};
  for (int i = 0; i < 4; ++i)
    add(w, L"Button", buttons[i], BS_PUSHBUTTON | WS_TABSTOP, 0, 4 + 58 * i, 702, i == 3 ? 70 : 56, 26);
  constexpr DWORD tab_style = TCS_BUTTONS | TCS_FLATBUTTONS | TCS_FIXEDWIDTH | TCS_FOCUSNEVER | WS_TABSTOP;
  HWND tabs = add(w, WC_TABCONTROLW, L"", tab_style, 0, 252, 702, 222, 26);
  const wchar_t* lists[] = {L"搜索结果", L"我的收藏", L"最近播放", L"本地歌曲"};
  for (int i = 0; i < 4; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT, item.pszText = const_cast<wchar_t*>(lists[i]);
    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  SendMessageW(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(222 / 4 - 3, 24));
  constexpr DWORD bar = TBS_HORZ | TBS_NOTICKS | TBS_BOTH | WS_TABSTOP;
  HWND volume = add(w, TRACKBAR_CLASSW, L"", bar, 0, 478, 702, 114, 26);
  SendMessageW(volume, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
  SendMessageW(volume, TBM_SETPOS, TRUE, 70);
  HWND seek = add(w, TRACKBAR_CLASSW, L"", bar | TBS_ENABLESELRANGE, 0, 2, 676, 458, 24);
  SendMessageW(seek, TBM_SETRANGE, FALSE, MAKELPARAM(0, 240));
  SendMessageW(seek, TBM_SETSEL, FALSE, MAKELPARAM(0, 150));
  SendMessageW(seek, TBM_SETPOS, TRUE, 62);
  for (HWND b : {volume, seek}) SendMessageW(b, TBM_SETTHUMBLENGTH, 16, 0);
  add(w, L"Static", L"1:02 / 4:00", SS_RIGHT | SS_CENTERIMAGE, 0, 462, 680, 130, 18);
}

void create_controls(HWND w) {
  add(w, L"Button", L"软件退出后删除目录所有下载的音乐", BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, 0, 472, 0, 120, 45);
  g_lyrics = add(w, L"Edit", L"晴天 - 周杰伦\r\n\r\n故事的小黄花\r\n从出生那年就飘着", ES_MULTILINE | ES_READONLY | WS_VSCROLL,
                 WS_EX_CLIENTEDGE, 368, 248, 224, 424);
  HFONT bold = CreateFontW(12, 0, 0, 0, FW_BOLD, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, nullptr);
  SendMessageW(g_lyrics, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  add(w, L"Static", L"", SS_BLACKFRAME, 0, 368, 48, 224, 192);
  add(w, L"Button", L"暂停播放", BS_PUSHBUTTON | WS_TABSTOP, 0, 136, 637, 80, 32);
  add(w, L"Button", L"播放并下载", BS_PUSHBUTTON | WS_TABSTOP, 0, 1, 637, 103, 32);
  add(w, L"Button", L"加载更多", BS_PUSHBUTTON | WS_TABSTOP, 0, 280, 637, 80, 32);
  HWND list = add(w, WC_LISTVIEWW, L"", LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, -150, 56, 510, 576);
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
  fill_list(list);
  HWND combo = add(w, L"ComboBox", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 371, 14, 100, 200);
  for (const wchar_t* s : {L"网易云", L"酷狗音乐", L"QQ音乐"}) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  add(w, L"Button", L"搜索", BS_PUSHBUTTON | WS_TABSTOP, 0, 278, 16, 80, 32);
  add(w, L"Edit", L"周杰伦", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, 6, 12, 264, 40);
  create_strip(w);
}

bool attach_skin() {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  lstrcatW(path, L"qiwa_skin_preview.dll");
  auto image = qiwa::skin_library_image();
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (f != INVALID_HANDLE_VALUE) WriteFile(f, image.data(), static_cast<DWORD>(image.size()), &written, nullptr), CloseHandle(f);
  HMODULE lib = LoadLibraryW(path);
  auto attach = lib ? reinterpret_cast<qiwa::SkinAttachRes>(
                          reinterpret_cast<void*>(GetProcAddress(lib, qiwa::kSkinEntryName)))
                    : nullptr;
  auto data = qiwa::skin_data();
  return attach && attach(data.data(), static_cast<int>(data.size()), nullptr, 0, 0, 0) == 0;
}

LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == g_lyrics) {
    SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 128, 0));
    SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(g_white);
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR args, int) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc, wc.hInstance = instance, wc.lpszClassName = L"QiwaSkinPreview";
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW), wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"Qiwa音乐", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           50, 50, 601, 770, nullptr, nullptr, instance, nullptr);
  create_controls(w);
  const bool plain = args && lstrcmpW(args, L"plain") == 0;
  if (!plain) std::printf("skin attached: %s\n", attach_skin() ? "yes" : "no");
  ShowWindow(w, SW_SHOW);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(w, &m)) TranslateMessage(&m), DispatchMessageW(&m);
  }
  return 0;
}
