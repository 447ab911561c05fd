// Our skin library under Wine, loaded from the image embedded in the program: the checks of its entry
// point and what it does to a window. Each case runs on a thread of its own, because the skin hooks the
// calling thread and the other tests' windows must keep the system's look.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "skin/skin_blobs.hpp"
#include "skin/skin_entry.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

using Data = std::vector<unsigned char>;

HMODULE skin_library() {
  static HMODULE library = [] {
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    lstrcatW(path, L"qiwa_skin_test.dll");
    const auto image = skin_library_image();
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
      WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
      CloseHandle(file);
    }
    return written == image.size() ? LoadLibraryW(path) : nullptr;
  }();
  return library;
}

SkinAttachRes attach_entry() {
  HMODULE library = skin_library();
  return library ? reinterpret_cast<SkinAttachRes>(reinterpret_cast<void*>(GetProcAddress(library, kSkinEntryName)))
                 : nullptr;
}

int attach(const Data& data) { return attach_entry()(data.data(), static_cast<int>(data.size()), nullptr, 0, 0, 0); }

Data good_data() {
  const auto d = skin_data();
  return Data(d.begin(), d.end());
}

std::uint32_t crc32(const unsigned char* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  while (n--) {
    crc ^= *p++;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A changed field with a checksum that matches again: only the field's own check can reject it.
Data with_byte(std::size_t offset, unsigned char value) {
  Data d = good_data();
  d[offset] = value;
  const std::uint32_t crc = crc32(d.data() + 16, d.size() - 16);
  std::memcpy(d.data() + 12, &crc, 4);
  return d;
}

// Colours of the skin data, by their place in the layout (see skin/make_skin.py).
enum { kWindow = 0, kControl = 1, kAccent = 4, kButtonFace = 5, kRowAlt = 12 };
COLORREF skin_colour(int index) {
  const auto d = skin_data();
  const std::size_t at = 20 + 4 * index;
  return RGB(d[at], d[at + 1], d[at + 2]);
}

// A small window like the program's: a button, a check box, a read-only edit whose colours the
// program chooses itself (green on white), an editable edit, and a report list view with two rows.
struct TestWindow {
  HWND frame, button, check, lyrics, edit, list;
};

HBRUSH g_white = CreateSolidBrush(RGB(255, 255, 255));
thread_local HWND t_lyrics = nullptr;

LRESULT CALLBACK test_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == t_lyrics) {
    SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 128, 0));
    return reinterpret_cast<LRESULT>(g_white);
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, RECT r) {
  return CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right, r.bottom, parent,
                         nullptr, nullptr, nullptr);
}

TestWindow make_window() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = test_proc, wc.lpszClassName = L"QiwaSkinTest";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  TestWindow w{};
  w.frame = CreateWindowExW(0, L"QiwaSkinTest", L"skin", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 40,
                            40, 420, 320, nullptr, nullptr, nullptr, nullptr);
  w.button = child(w.frame, L"Button", L"搜索", BS_PUSHBUTTON, 0, {10, 10, 80, 32});
  w.check = child(w.frame, L"Button", L"删除", BS_AUTOCHECKBOX, 0, {100, 10, 120, 32});
  t_lyrics = w.lyrics = child(w.frame, L"Edit", L"", ES_MULTILINE | ES_READONLY, WS_EX_CLIENTEDGE, {230, 60, 160, 200});
  w.edit = child(w.frame, L"Edit", L"", 0, WS_EX_CLIENTEDGE, {230, 10, 160, 32});
  w.list = child(w.frame, WC_LISTVIEWW, L"", LVS_REPORT, WS_EX_CLIENTEDGE, {10, 60, 210, 200});
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH, column.cx = 150, column.pszText = const_cast<wchar_t*>(L"歌名");
  ListView_InsertColumn(w.list, 0, &column);
  for (int i = 0; i < 2; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT, item.iItem = i, item.pszText = const_cast<wchar_t*>(L"晴天");
    ListView_InsertItem(w.list, &item);
  }
  SetCursorPos(1000, 740);  // no hover state in the pixels read below
  return w;
}

bool subclassed(HWND hwnd) {
  return GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != static_cast<LONG_PTR>(GetClassLongPtrW(hwnd, GCLP_WNDPROC));
}

COLORREF pixel(HWND hwnd, int x, int y) {
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const WindowDc dc(hwnd);
  return GetPixel(dc.get(), x, y);
}

// What the button draws into a DC of ours (WM_PRINTCLIENT), independent of the screen.
COLORREF printed_pixel(HWND hwnd, int x, int y) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const WindowDc screen(nullptr);
  const MemoryDc dc(CreateCompatibleDC(screen.get()));
  const GdiObject bitmap(CreateCompatibleBitmap(screen.get(), rc.right, rc.bottom));
  const Selected drawn(dc.get(), bitmap.get());
  SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT | PRF_ERASEBKGND);
  return GetPixel(dc.get(), x, y);
}

void pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

template <class Body>
void on_own_thread(Body body) {
  std::thread worker(body);
  worker.join();
}

std::string dll_name(const unsigned char* base, DWORD rva) { return reinterpret_cast<const char*>(base + rva); }

TEST(SkinLibrary, ExportsTheEntryPointAndImportsSystemLibrariesOnly) {
  ASSERT_NE(skin_library(), nullptr);
  ASSERT_NE(attach_entry(), nullptr) << "SkinH_AttachRes, undecorated";
  const auto* base = reinterpret_cast<const unsigned char*>(skin_library());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
#ifdef _WIN64
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);  // the program's own bitness
#else
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
#endif
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  ASSERT_NE(imports, 0u);
  const char* allowed[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll"};
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports); d->Name; ++d) {
    const std::string name = dll_name(base, d->Name);
    bool known = false;
    for (const char* a : allowed) known = known || lstrcmpiA(a, name.c_str()) == 0;
    EXPECT_TRUE(known) << name;
  }
}

TEST(SkinLibrary, RejectsMalformedDataAndChangesNothing) {
  ASSERT_NE(attach_entry(), nullptr);
  on_own_thread([] {
    const TestWindow w = make_window();
    const HGDIOBJ font_before = reinterpret_cast<HGDIOBJ>(SendMessageW(w.button, WM_GETFONT, 0, 0));
    const Data good = good_data();
    Data wrong_magic = good, bad_version = good, bad_checksum = good;
    wrong_magic[0] = 'X';
    bad_version[4] = 2;
    bad_checksum[40] ^= 0x01;
    struct Case {
      const char* what;
      Data data;
      int length;
    } cases[] = {
        {"wrong magic", wrong_magic, static_cast<int>(good.size())},
        {"bad version", bad_version, static_cast<int>(good.size())},
        {"bad checksum", bad_checksum, static_cast<int>(good.size())},
        {"short", good, 12},
        {"length one less than stated", good, static_cast<int>(good.size()) - 1},
        {"negative length", good, -1},
        {"corner radius out of range", with_byte(17, 40), static_cast<int>(good.size())},
        {"colour with a fourth byte", with_byte(23, 1), static_cast<int>(good.size())},
        {"font size out of range", with_byte(19, 200), static_cast<int>(good.size())},
        {"wrong colour count", with_byte(16, 3), static_cast<int>(good.size())},
    };
    for (const Case& c : cases)
      EXPECT_NE(attach_entry()(c.data.data(), c.length, nullptr, 0, 0, 0), 0) << c.what;
    EXPECT_NE(attach_entry()(nullptr, static_cast<int>(good.size()), nullptr, 0, 0, 0), 0) << "null data";
    for (HWND hwnd : {w.frame, w.button, w.check, w.edit, w.list}) EXPECT_FALSE(subclassed(hwnd));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(w.button, WM_GETFONT, 0, 0)), font_before);
    // No hook either: a window made afterwards keeps its class's own procedure.
    HWND later = child(w.frame, L"Button", L"later", BS_PUSHBUTTON, 0, {10, 270, 80, 24});
    EXPECT_FALSE(subclassed(later));
    DestroyWindow(w.frame);
  });
}

TEST(SkinLibrary, SkinsTheThreadsWindowsAndKeepsTheProgramsOwnColours) {
  ASSERT_NE(attach_entry(), nullptr);
  on_own_thread([] {
    const TestWindow w = make_window();
    pump();
    ASSERT_EQ(attach(good_data()), 0);
    for (HWND hwnd : {w.frame, w.button, w.check, w.edit, w.lyrics, w.list, ListView_GetHeader(w.list)})
      EXPECT_TRUE(subclassed(hwnd));
    EXPECT_EQ(printed_pixel(w.button, 6, 16), skin_colour(kButtonFace));
    EXPECT_EQ(pixel(w.button, 6, 16), skin_colour(kButtonFace));
    EXPECT_EQ(pixel(w.frame, 300, 280), skin_colour(kWindow));
    SendMessageW(w.check, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(printed_pixel(w.check, 9, 10), skin_colour(kAccent)) << "a ticked box is filled with the accent";

    RECT second{};
    second.left = LVIR_BOUNDS;
    SendMessageW(w.list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    EXPECT_EQ(pixel(w.list, second.right - 4, (second.top + second.bottom) / 2), skin_colour(kRowAlt));

    const WindowDc frame_dc(w.frame);
    HDC dc = frame_dc.get();
    const auto asked = [&](HWND control) {
      return SendMessageW(w.frame, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    };
    EXPECT_EQ(asked(w.lyrics), reinterpret_cast<LRESULT>(g_white)) << "the program's brush stays";
    EXPECT_EQ(GetTextColor(dc), RGB(0, 128, 0)) << "and so does its text colour";
    HBRUSH ours = reinterpret_cast<HBRUSH>(asked(w.check));
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(ours, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbColor, skin_colour(kWindow)) << "where the program gave the default, the skin's colour";

    HWND later = child(w.frame, L"Button", L"later", BS_PUSHBUTTON, 0, {10, 270, 80, 24});
    EXPECT_TRUE(subclassed(later)) << "windows made after the skin are skinned as they are made";
    EXPECT_EQ(printed_pixel(later, 6, 12), skin_colour(kButtonFace));
    DestroyWindow(w.frame);
  });
}

TEST(SkinLibrary, LeavesOtherThreadsAlone) {
  ASSERT_NE(attach_entry(), nullptr);
  on_own_thread([] { ASSERT_EQ(attach(good_data()), 0); });
  const TestWindow w = make_window();  // on the test's own thread, never attached
  EXPECT_FALSE(subclassed(w.button));
  EXPECT_FALSE(subclassed(w.frame));
  DestroyWindow(w.frame);
}

}  // namespace
}  // namespace qiwa
