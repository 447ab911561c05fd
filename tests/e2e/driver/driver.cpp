// Drives QiwaMusic.exe from outside as a user would and prints what it sees as JSON (UTF-8).
// One command per run:  qiwa_driver.exe <command> [arguments]   (see tests/e2e/README.md)
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver.hpp"
#include "remote.hpp"
#include "target.hpp"

namespace qiwa::driver {

void fail(int code, std::wstring message) { throw Failure{code, std::move(message)}; }

void print(const std::string& s) {
  DWORD done = 0;
  std::string line = s + "\n";
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
}

std::vector<DWORD> target_pids() {
  wchar_t exe[MAX_PATH] = L"QiwaMusic.exe";
  GetEnvironmentVariableW(L"QIWA_DRIVER_TARGET", exe, MAX_PATH);
  return processes_named(exe);
}

HWND main_window() {
  HWND h = find_main_window(target_pids());
  if (!h) fail(3, L"no window of the program");
  return h;
}

HWND control(HWND main, const Args& a, std::size_t i, const wchar_t* fallback) {
  std::wstring name = i < a.size() ? a[i] : (fallback ? fallback : L"");
  if (name.empty()) fail(2, L"which control?");
  HWND h = resolve_control(main, name);
  if (!h) fail(4, L"no control " + name);
  return h;
}

const std::wstring& arg(const Args& a, std::size_t i, const wchar_t* what) {
  if (i >= a.size()) fail(2, std::wstring(L"missing ") + what);
  return a[i];
}

int number(const Args& a, std::size_t i, const wchar_t* what) { return _wtoi(arg(a, i, what).c_str()); }

bool has_flag(const Args& a, const wchar_t* flag) {
  for (const auto& s : a) {
    if (s == flag) return true;
  }
  return false;
}

LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 3000, &r);
  return static_cast<LRESULT>(r);
}

bool wait_until(int ms, const std::function<bool()>& done) {
  for (DWORD start = GetTickCount();; Sleep(50)) {
    if (done()) return true;
    if (static_cast<int>(GetTickCount() - start) >= ms) return false;
  }
}

// Real input at a screen point, the way a mouse would give it.
void mouse_click(POINT p, bool right) {
  int w = GetSystemMetrics(SM_CXSCREEN) - 1, h = GetSystemMetrics(SM_CYSCREEN) - 1;
  INPUT in[3] = {};
  for (auto& i : in) i.type = INPUT_MOUSE;
  in[0].mi.dx = static_cast<LONG>(std::lround(p.x * 65535.0 / w));
  in[0].mi.dy = static_cast<LONG>(std::lround(p.y * 65535.0 / h));
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in[0], sizeof(INPUT));
  Sleep(50);
  SendInput(2, &in[1], sizeof(INPUT));
}

POINT centre_on_screen(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void write_window(Json& j, HWND main) {
  RECT outer{}, client{};
  GetWindowRect(main, &outer);
  GetClientRect(main, &client);
  j.key("window").begin_object();
  j.key("hwnd").num(reinterpret_cast<std::uintptr_t>(main)).key("title").str(window_text(main));
  j.key("class").str(class_name(main)).key("rect").rect(outer).key("client").rect(client);
  j.key("style").num(GetWindowLongW(main, GWL_STYLE)).key("exstyle").num(GetWindowLongW(main, GWL_EXSTYLE));
  j.key("visible").boolean(IsWindowVisible(main)).end_object();
}

namespace {

bool is_check_style(LONG style) {
  LONG t = style & BS_TYPEMASK;
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE || t == BS_RADIOBUTTON ||
         t == BS_AUTORADIOBUTTON;
}

void write_combo(Json& j, HWND h) {
  int n = static_cast<int>(send(h, CB_GETCOUNT));
  j.key("items").begin_array();
  for (int i = 0; i < n; ++i) {
    std::wstring s(static_cast<std::size_t>(send(h, CB_GETLBTEXTLEN, i)) + 1, L'\0');
    LRESULT len = send(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(s.data()));
    s.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
    j.str(s);
  }
  j.end_array().key("selected").num(static_cast<int>(send(h, CB_GETCURSEL)));
}

void write_list(Json& j, HWND h) {
  auto columns = list_columns(h);
  j.key("columns").begin_array();
  for (const auto& c : columns) j.begin_object().key("text").str(c.text).key("width").num(c.width).end_object();
  j.end_array().key("rows").begin_array();
  for (const auto& r : list_rows(h, static_cast<int>(columns.size()))) {
    j.begin_object().key("cells").begin_array();
    for (const auto& c : r.cells) j.str(c);
    j.end_array().key("selected").boolean(r.selected).key("focused").boolean(r.focused);
    j.key("check").num(r.check_state).key("rect").rect(r.rect).end_object();
  }
  j.end_array();
}

void write_control(Json& j, HWND main, HWND h, std::size_t index) {
  std::wstring cls = class_name(h);
  LONG style = GetWindowLongW(h, GWL_STYLE);
  j.begin_object().key("index").num(static_cast<long long>(index)).key("name").str(control_name(index, h));
  j.key("class").str(cls).key("id").num(GetDlgCtrlID(h)).key("rect").rect(rect_in_client(main, h));
  j.key("text").str(window_text(h)).key("style").num(style).key("exstyle").num(GetWindowLongW(h, GWL_EXSTYLE));
  j.key("visible").boolean(IsWindowVisible(h)).key("enabled").boolean(IsWindowEnabled(h));
  if (_wcsicmp(cls.c_str(), L"Button") == 0 && is_check_style(style))
    j.key("checked").boolean(send(h, BM_GETCHECK) == BST_CHECKED);
  if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) write_combo(j, h);
  if (_wcsicmp(cls.c_str(), TRACKBAR_CLASSW) == 0) {
    j.key("position").num(send(h, TBM_GETPOS)).key("range_max").num(send(h, TBM_GETRANGEMAX));
    j.key("selection_end").num(send(h, TBM_GETSELEND));
  }
  if (_wcsicmp(cls.c_str(), WC_TABCONTROLW) == 0) {  // the chosen tab, and where each tab lies
    j.key("tab").num(send(h, TCM_GETCURSEL)).key("tabs").begin_array();
    for (int i = 0, n = static_cast<int>(send(h, TCM_GETITEMCOUNT)); i < n; ++i) {
      RECT r{};
      tab_item_rect(h, i, r);
      j.rect(r);
    }
    j.end_array();
  }
  if (_wcsicmp(cls.c_str(), WC_LISTVIEWW) == 0) write_list(j, h);
  if (_wcsicmp(cls.c_str(), L"Edit") == 0) {  // the selection (UTF-16 positions) and the first line shown
    const DWORD sel = static_cast<DWORD>(send(h, EM_GETSEL));
    j.key("selection").begin_array().num(LOWORD(sel)).num(HIWORD(sel)).end_array();
    j.key("first_line").num(send(h, EM_GETFIRSTVISIBLELINE));
  }
  j.end_object();
}

void cmd_dump(const Args&, Json& j) {
  HWND main = main_window();
  write_window(j, main);
  j.key("controls").begin_array();
  auto children = child_controls(main);
  for (std::size_t i = 0; i < children.size(); ++i) write_control(j, main, children[i], i);
  j.end_array();
}

void cmd_window(const Args&, Json& j) { write_window(j, main_window()); }

void cmd_control(const Args& a, Json& j) {
  HWND main = main_window();
  HWND h = control(main, a, 1);
  auto children = child_controls(main);
  std::size_t i = 0;
  while (i < children.size() && children[i] != h) ++i;
  j.key("control");
  write_control(j, main, h, i);
}

void cmd_click(const Args& a, Json&) {
  HWND main = main_window();
  HWND h = control(main, a, 1);
  if (has_flag(a, L"--mouse")) {
    mouse_click(centre_on_screen(h), false);
  } else {
    PostMessageW(h, BM_CLICK, 0, 0);  // posted: the click may open a modal box
  }
}

// A left click at a fraction of a control's width, across its middle (a tab of a tab control, a place
// on a track bar's channel): "click-at NAME PERCENT".
void cmd_click_at(const Args& a, Json&) {
  HWND h = control(main_window(), a, 1);
  const long percent = number(a, 2, L"percent of the width");
  RECT r{};
  GetWindowRect(h, &r);
  mouse_click(POINT{r.left + static_cast<LONG>((r.right - r.left) * percent / 100), (r.top + r.bottom) / 2}, false);
}

// The cursor rests in the screen's bottom-right corner, away from the windows the tests make: the
// program as a user leaves it while working elsewhere.
void cmd_mouse_away(const Args&, Json& j) {
  const POINT at{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1};
  j.key("moved").boolean(SetCursorPos(at.x, at.y) != FALSE);
}

void cmd_check(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  bool want = !has_flag(a, L"--off");
  if ((send(h, BM_GETCHECK) == BST_CHECKED) != want) send(h, BM_CLICK);
  j.key("checked").boolean(send(h, BM_GETCHECK) == BST_CHECKED);
}

// Replaces the content as a user would: select all, then one character message per key.
void cmd_type(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  const std::wstring& text = arg(a, 2, L"text");
  send(h, EM_SETSEL, 0, -1);
  if (text.empty()) send(h, WM_CLEAR);
  for (wchar_t c : text) send(h, WM_CHAR, c, 1);
  j.key("text").str(window_text(h));
}

void cmd_set_text(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  std::wstring text = arg(a, 2, L"text");
  send(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  j.key("text").str(window_text(h));
}

// A key press reaches the edit box through its queue, as from the keyboard.
void post_key(HWND h, UINT vk, wchar_t ch) {
  UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  PostMessageW(h, WM_KEYDOWN, vk, 1 | (scan << 16));
  if (ch) PostMessageW(h, WM_CHAR, ch, 1 | (scan << 16));
  PostMessageW(h, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void cmd_enter(const Args& a, Json&) { post_key(control(main_window(), a, 1), VK_RETURN, L'\r'); }

// Ctrl and a key from the keyboard, with the focus on the control: "ctrl-key NAME VK".
void cmd_ctrl_key(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  const auto vk = static_cast<WORD>(number(a, 2, L"virtual key code"));
  const DWORD own = GetCurrentThreadId(), theirs = GetWindowThreadProcessId(h, nullptr);
  AttachThreadInput(own, theirs, TRUE);
  SetForegroundWindow(GetAncestor(h, GA_ROOT));
  SetFocus(h);
  AttachThreadInput(own, theirs, FALSE);
  INPUT in[4] = {};
  const WORD keys[4] = {VK_CONTROL, vk, vk, VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = keys[i];
    in[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  j.key("sent").num(static_cast<long long>(SendInput(4, in, sizeof(INPUT))));
}

void cmd_key(const Args& a, Json&) {
  HWND h = control(main_window(), a, 1);
  UINT vk = static_cast<UINT>(number(a, 2, L"virtual key code"));
  post_key(h, vk, vk >= 0x20 && vk < 0x7f ? static_cast<wchar_t>(towlower(vk)) : 0);
}

// WM_APPCOMMAND with the command number (14 play/pause), as a keyboard's media key sends it.
void cmd_appcommand(const Args& a, Json&) {
  HWND main = main_window();
  const int command = static_cast<int>(number(a, 1, L"app command"));
  PostMessageW(main, WM_APPCOMMAND, reinterpret_cast<WPARAM>(main), MAKELPARAM(0, command));
}

// Log-off as Windows does it: WM_QUERYENDSESSION, then WM_ENDSESSION, each waited for; then the process is
// ended without a WM_DESTROY, as the end of the session ends it.
void cmd_end_session(const Args&, Json& j) {
  HWND main = main_window();
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  DWORD_PTR agreed = 0, done = 0;
  SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &agreed);
  const bool ended =
      SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &done) != 0;
  KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  const bool terminated = process && TerminateProcess(process.get(), 0) &&
                          WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0;
  j.key("agreed").boolean(agreed != 0).key("ended").boolean(ended).key("terminated").boolean(terminated);
}

// Whether another program could take the media play/pause key as its global hot key now.
void cmd_hotkey_free(const Args&, Json& j) {
  constexpr int kProbe = 0xBEEF;
  const bool free = RegisterHotKey(nullptr, kProbe, 0, VK_MEDIA_PLAY_PAUSE);
  if (free) UnregisterHotKey(nullptr, kProbe);
  j.key("free").boolean(free);
}

// How an edit box lays out its text: the width of its first line's characters after the first, and the
// distance between its first two lines (what its font's size makes of them).
void cmd_text_metrics(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  const int length = GetWindowTextLengthW(h);
  auto at = [&](LRESULT index) {
    const LRESULT p = send(h, EM_POSFROMCHAR, static_cast<WPARAM>(index));
    return POINT{static_cast<short>(LOWORD(p)), static_cast<short>(HIWORD(p))};
  };
  const LRESULT second_line = send(h, EM_LINEINDEX, 1);
  const LRESULT first_end = send(h, EM_LINELENGTH, 0);
  j.key("text_width").num(first_end > 1 ? at(first_end - 1).x - at(0).x : 0);
  j.key("line_height").num(second_line > 0 && second_line < length ? at(second_line).y - at(0).y : 0);
}

// The control that has the keyboard focus (a control's own child counts as it).
void cmd_focus(const Args&, Json& j) {
  HWND main = main_window();
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info);
  auto children = child_controls(main);
  for (std::size_t i = 0; i < children.size(); ++i)
    if (info.hwndFocus && (children[i] == info.hwndFocus || IsChild(children[i], info.hwndFocus))) {
      j.key("focus").str(control_name(i, children[i]));
      return;
    }
  j.key("focus").null();
}

void cmd_select_combo(const Args& a, Json& j) {
  HWND main = main_window();
  HWND h = control(main, a, 2, L"组合框1");
  int index = number(a, 1, L"item index");
  send(h, CB_SETCURSEL, index);
  // CB_SETCURSEL notifies nobody; a user's pick sends CBN_SELCHANGE.
  send(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
  j.key("selected").num(static_cast<int>(send(h, CB_GETCURSEL)));
}

HWND the_list(HWND main) {
  for (HWND h : child_controls(main)) {
    if (_wcsicmp(class_name(h).c_str(), WC_LISTVIEWW) == 0) return h;
  }
  fail(4, L"the window has no list view");
}

void cmd_select_row(const Args& a, Json& j) {
  HWND list = the_list(main_window());
  int row = number(a, 1, L"row index");
  if (!list_select(list, row, has_flag(a, L"--add"))) fail(1, L"no such row");
  j.key("selected").num(static_cast<int>(send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
}

// A point of the list that the user can see (its left part lies outside the client area).
POINT list_point(HWND main, HWND list, const Args& a) {
  RECT lr{}, cr{};
  GetWindowRect(list, &lr);
  GetClientRect(main, &cr);
  MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&cr), 2);
  RECT vis{};
  IntersectRect(&vis, &lr, &cr);
  POINT p{(vis.left + vis.right) / 2, (vis.top + vis.bottom) / 2};
  if (a.size() > 1 && a[1] == L"empty") {
    p.y = vis.bottom - 12;
  } else if (a.size() > 1) {
    RECT ir{};
    if (!list_item_rect(list, _wtoi(a[1].c_str()), ir)) fail(1, L"no such row");
    POINT top{0, (ir.top + ir.bottom) / 2};
    ClientToScreen(list, &top);
    p.y = top.y;
  }
  return p;
}

}  // namespace

// The program's first top-level window of a class, waiting up to wait_ms for one to appear.
HWND first_top_window(const wchar_t* cls, int wait_ms) {
  HWND found = nullptr;
  wait_until(wait_ms, [&] {
    auto windows = top_windows_of_class(target_pids(), cls);
    found = windows.empty() ? nullptr : windows.front();
    return found != nullptr;
  });
  return found;
}

HWND open_menu(int wait_ms) { return first_top_window(L"#32768", wait_ms); }

std::vector<MenuItem> write_menu(Json& j, HWND popup) {
  std::vector<MenuItem> items;
  std::wstring error;
  if (!read_popup_menu(popup, items, error)) fail(1, error);
  RECT r{};
  GetWindowRect(popup, &r);
  j.key("menu").begin_object().key("rect").rect(r).key("items").begin_array();
  for (const auto& i : items) {
    j.begin_object().key("text").str(i.text).key("id").num(i.id);
    j.key("enabled").boolean(!(i.state & MFS_DISABLED)).key("checked").boolean(i.state & MFS_CHECKED);
    j.key("separator").boolean(i.type & MFT_SEPARATOR).key("rect").rect(i.rect).end_object();
  }
  j.end_array().end_object();
  return items;
}

namespace {

// The program's first visible top-level window of a class beside its main one (the desktop lyrics),
// waiting up to WAIT ms for one: "top CLASS [WAIT]".
void cmd_top(const Args& a, Json& j) {
  HWND h = first_top_window(arg(a, 1, L"class").c_str(), a.size() > 2 ? _wtoi(a[2].c_str()) : 0);
  if (!h) fail(3, L"no visible window of that class");
  write_window(j, h);
}

// Two left clicks on a row, as a double click.
void cmd_dblclick_list(const Args& a, Json& j) {
  HWND main = main_window();
  POINT p = list_point(main, the_list(main), a);
  mouse_click(p, false);
  mouse_click(p, false);
  j.key("point").begin_object().key("x").num(p.x).key("y").num(p.y).end_object();
}

void cmd_rclick_list(const Args& a, Json& j) {
  HWND main = main_window();
  POINT p = list_point(main, the_list(main), a);
  mouse_click(p, true);
  j.key("point").begin_object().key("x").num(p.x).key("y").num(p.y).end_object();
  HWND popup = open_menu(3000);
  if (!popup) fail(1, L"no menu appeared");
  write_menu(j, popup);
}

void cmd_menu(const Args&, Json& j) {
  HWND popup = open_menu(0);
  if (!popup) fail(1, L"no menu is open");
  write_menu(j, popup);
}

// Clicks the item named by text or index (default: the first enabled one).
void cmd_menu_choose(const Args& a, Json& j) {
  HWND popup = open_menu(1000);
  if (!popup) fail(1, L"no menu is open");
  auto items = write_menu(j, popup);
  const MenuItem* pick = nullptr;
  for (std::size_t i = 0; i < items.size() && !pick; ++i) {
    bool named = a.size() > 1 && (items[i].text == a[1] || std::to_wstring(i) == a[1]);
    bool usable = !(items[i].state & MFS_DISABLED) && !(items[i].type & MFT_SEPARATOR);
    if (a.size() > 1 ? named : usable) pick = &items[i];
  }
  if (!pick) fail(1, L"no such menu item");
  mouse_click({(pick->rect.left + pick->rect.right) / 2, (pick->rect.top + pick->rect.bottom) / 2}, false);
  j.key("chosen").str(pick->text).key("closed").boolean(wait_until(3000, [&] { return !IsWindowVisible(popup); }));
}

HWND message_box(int wait_ms) { return first_top_window(L"#32770", wait_ms); }

void write_box(Json& j, HWND box) {
  j.key("msgbox").begin_object().key("title").str(window_text(box));
  std::wstring text;
  j.key("buttons").begin_array();
  for (HWND c : child_controls(box)) {
    std::wstring cls = class_name(c);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) != SS_ICON) text += window_text(c);
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c))
      j.begin_object().key("id").num(GetDlgCtrlID(c)).key("text").str(window_text(c)).end_object();
  }
  j.end_array().key("text").str(text).end_object();
}

void cmd_msgbox(const Args& a, Json& j) {
  HWND box = message_box(a.size() > 1 ? _wtoi(a[1].c_str()) : 0);
  if (!box) fail(1, L"no message box");
  write_box(j, box);
}

void cmd_msgbox_ok(const Args& a, Json& j) {
  HWND box = message_box(a.size() > 1 ? _wtoi(a[1].c_str()) : 1000);
  if (!box) fail(1, L"no message box");
  write_box(j, box);
  HWND ok = GetDlgItem(box, IDOK);
  if (!ok) ok = FindWindowExW(box, nullptr, L"Button", nullptr);
  if (!ok) fail(1, L"the message box has no button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  j.key("closed").boolean(wait_until(3000, [&] { return !IsWindow(box) || !IsWindowVisible(box); }));
}

// Presses the box's button of that id (6 是, 7 否, 2 取消), as the user would answer.
void cmd_msgbox_press(const Args& a, Json& j) {
  const int id = static_cast<int>(number(a, 1, L"button id"));
  HWND box = message_box(a.size() > 2 ? _wtoi(a[2].c_str()) : 3000);
  if (!box) fail(1, L"no message box");
  write_box(j, box);
  HWND button = GetDlgItem(box, id);
  if (!button) fail(1, L"the message box has no such button");
  PostMessageW(button, BM_CLICK, 0, 0);
  j.key("closed").boolean(wait_until(3000, [&] { return !IsWindow(box) || !IsWindowVisible(box); }));
}

void cmd_close(const Args&, Json&) { PostMessageW(main_window(), WM_CLOSE, 0, 0); }

void cmd_wait_window(const Args& a, Json& j) {
  HWND h = nullptr;
  wait_until(a.size() > 1 ? _wtoi(a[1].c_str()) : 10000, [&] { return (h = find_main_window(target_pids())); });
  if (!h) fail(3, L"no window of the program");
  write_window(j, h);
}

void cmd_wait_title(const Args& a, Json& j) {
  const std::wstring& want = arg(a, 1, L"title");
  int ms = a.size() > 2 ? _wtoi(a[2].c_str()) : 10000;
  std::wstring title;
  bool ok = wait_until(ms, [&] {
    HWND h = find_main_window(target_pids());
    title = h ? window_text(h) : L"";
    return h && title == want;
  });
  j.key("title").str(title);
  if (!ok) fail(1, L"the title stayed " + title);
}

// Prints an edit box's selection as a JSON line of its own each time it changes, at once, for MS ms: the
// reader times each change on its own clock (the lyrics' mark against the moment its line was heard).
void cmd_watch_selection(const Args& a, Json& j) {
  HWND h = control(main_window(), a, 1);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(number(a, 2, L"milliseconds"));
  DWORD last = ~DWORD{0};
  long long changes = 0;
  while (GetTickCount64() < end && IsWindow(h)) {
    const DWORD sel = static_cast<DWORD>(send(h, EM_GETSEL));
    if (sel != last) {
      Json line;
      line.begin_object().key("selection").begin_array().num(LOWORD(sel)).num(HIWORD(sel)).end_array().end_object();
      print(line.text());
      last = sel;
      ++changes;
    }
    Sleep(5);
  }
  j.key("changes").num(changes);
}

// Prints the main window's title as a JSON line of its own each time it changes, for MS ms: a song that
// plays for a moment is seen as surely as one that plays long.
void cmd_watch_title(const Args& a, Json& j) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(number(a, 1, L"milliseconds"));
  std::wstring last;
  long long changes = 0;
  for (bool first = true; GetTickCount64() < end; first = false, Sleep(5)) {
    const HWND h = find_main_window(target_pids());
    const std::wstring title = h ? window_text(h) : L"";
    if (!first && title == last) continue;
    Json line;
    line.begin_object().key("title").str(title).end_object();
    print(line.text());
    last = title;
    ++changes;
  }
  j.key("changes").num(changes);
}

// Plays a tone through waveOut, to check where the bench's audio goes.
void cmd_beep(const Args& a, Json& j) {
  int ms = a.size() > 1 ? _wtoi(a[1].c_str()) : 500;
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
  std::vector<short> pcm(static_cast<std::size_t>(44100) * ms / 1000);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<short>(8000 * std::sin(i * 2 * 3.14159265 * 440 / 44100));
  HWAVEOUT out = nullptr;
  if (waveOutOpen(&out, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) fail(1, L"no wave output device");
  // Wine hands a buffer back before its last samples are heard, so silence follows the tone and the
  // device closes only once that is back too: the tone's tail is never cut off by the close.
  std::vector<short> tail(44100 / 10);
  WAVEHDR hdr{}, after{};
  hdr.lpData = reinterpret_cast<LPSTR>(pcm.data());
  hdr.dwBufferLength = static_cast<DWORD>(pcm.size() * sizeof(short));
  after.lpData = reinterpret_cast<LPSTR>(tail.data());
  after.dwBufferLength = static_cast<DWORD>(tail.size() * sizeof(short));
  for (WAVEHDR* h : {&hdr, &after}) {
    waveOutPrepareHeader(out, h, sizeof *h);
    waveOutWrite(out, h, sizeof *h);
  }
  bool done = wait_until(ms + 3000, [&] { return (after.dwFlags & WHDR_DONE) != 0; });
  for (WAVEHDR* h : {&hdr, &after}) waveOutUnprepareHeader(out, h, sizeof *h);
  waveOutClose(out);
  j.key("bytes").num(hdr.dwBufferLength).key("done").boolean(done);
}

// One entry of the system's handle list (NtQuerySystemInformation, class 16).
struct SystemHandleEntry {
  ULONG owner_pid;
  BYTE object_type;
  BYTE flags;
  USHORT value;
  void* object;
  ACCESS_MASK access;
};

// The handles `pid` holds as the system lists them (Wine's GetProcessHandleCount answers 0), or -1.
long long listed_handles(DWORD pid) {
  using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  constexpr int kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 16);
  auto ask = [&] {
    return query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr);
  };
  LONG status;
  while ((status = ask()) == kLengthMismatch) buffer.resize(buffer.size() * 2);
  if (status < 0) return -1;
  ULONG count = 0;
  memcpy(&count, buffer.data(), sizeof count);
  const auto* entries = reinterpret_cast<const SystemHandleEntry*>(buffer.data() + sizeof(void*));
  long long n = 0;
  for (ULONG i = 0; i < count; ++i) n += entries[i].owner_pid == pid;
  return n;
}

long long thread_count(DWORD pid) {
  long long n = 0;
  SnapshotHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 t{};
  t.dwSize = sizeof t;
  for (BOOL ok = snap && Thread32First(snap.get(), &t); ok; ok = Thread32Next(snap.get(), &t))
    n += t.th32OwnerProcessID == pid;
  return n;
}

// What the program holds: handles, threads, window objects and memory (for leak checks).
void cmd_stats(const Args&, Json& j) {
  std::vector<DWORD> pids = target_pids();
  if (pids.empty()) fail(3, L"the program is not running");
  DWORD pid = pids.front();
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) fail(1, L"cannot open the program's process");
  DWORD counted = 0;
  GetProcessHandleCount(process.get(), &counted);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  auto* counters = reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory);
  if (!GetProcessMemoryInfo(process.get(), counters, sizeof memory)) fail(1, L"no memory counters");
  // Wine fills only the short form, whose commit charge is the same figure.
  SIZE_T private_bytes =
      memory.cb >= sizeof memory && memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
  j.key("pid").num(static_cast<long long>(pid));
  j.key("handles").num(counted ? static_cast<long long>(counted) : listed_handles(pid));
  j.key("threads").num(thread_count(pid));
  j.key("gdi_objects").num(static_cast<long long>(GetGuiResources(process.get(), GR_GDIOBJECTS)));
  j.key("user_objects").num(static_cast<long long>(GetGuiResources(process.get(), GR_USEROBJECTS)));
  j.key("working_set").num(static_cast<long long>(memory.WorkingSetSize));
  j.key("peak_working_set").num(static_cast<long long>(memory.PeakWorkingSetSize));
  j.key("private_bytes").num(static_cast<long long>(private_bytes));
}

// The code pages and locale Wine gives a process started in this environment, as the program is.
void cmd_locale(const Args&, Json& j) {
  j.key("acp").num(static_cast<long long>(GetACP())).key("oemcp").num(static_cast<long long>(GetOEMCP()));
  j.key("lcid").num(static_cast<long long>(GetUserDefaultLCID()));
}

const std::map<std::wstring, Command>& commands() {
  static const std::map<std::wstring, Command> table = [] {
    std::map<std::wstring, Command> own{
      {L"dump", cmd_dump},           {L"window", cmd_window},         {L"control", cmd_control},
      {L"click", cmd_click},         {L"click-at", cmd_click_at},         {L"check", cmd_check},           {L"type", cmd_type},
      {L"set-text", cmd_set_text},   {L"enter", cmd_enter},           {L"key", cmd_key},
      {L"select-combo", cmd_select_combo}, {L"select-row", cmd_select_row}, {L"rclick-list", cmd_rclick_list},
      {L"menu", cmd_menu},           {L"menu-choose", cmd_menu_choose}, {L"msgbox", cmd_msgbox},
      {L"msgbox-ok", cmd_msgbox_ok}, {L"close", cmd_close},           {L"wait-window", cmd_wait_window},
      {L"wait-title", cmd_wait_title}, {L"beep", cmd_beep},         {L"stats", cmd_stats},
      {L"locale", cmd_locale},       {L"appcommand", cmd_appcommand}, {L"focus", cmd_focus},
      {L"text-metrics", cmd_text_metrics}, {L"watch-selection", cmd_watch_selection},
      {L"watch-title", cmd_watch_title},
      {L"end-session", cmd_end_session}, {L"hotkey-free", cmd_hotkey_free},
      {L"top", cmd_top}, {L"mouse-away", cmd_mouse_away},
      {L"msgbox-press", cmd_msgbox_press}, {L"dblclick-list", cmd_dblclick_list}, {L"ctrl-key", cmd_ctrl_key},
    };
    add_desk_commands(own);
    return own;
  }();
  return table;
}

int run(const Args& a) {
  Json j;
  j.begin_object();
  try {
    auto it = a.empty() ? commands().end() : commands().find(a[0]);
    if (it == commands().end()) fail(2, L"unknown command");
    j.key("command").str(a[0]);
    it->second(a, j);
    j.key("ok").boolean(true).end_object();
    print(j.text());
    return 0;
  } catch (const Failure& f) {
    Json e;
    e.begin_object().key("ok").boolean(false).key("error").str(f.message).end_object();
    print(e.text());
    return f.code;
  }
}

}  // namespace
}  // namespace qiwa::driver

int wmain(int argc, wchar_t** argv) {
  qiwa::driver::Args args(argv + 1, argv + argc);
  return qiwa::driver::run(args);
}
