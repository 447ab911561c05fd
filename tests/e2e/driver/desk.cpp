// The driver's commands for what lies outside the program's main window: every window on the screen,
// the notification area's icons, and real mouse and keyboard input given while a window of the driver's
// own lies under the program's windows or has the focus.
#include <windows.h>

#include <tlhelp32.h>

#include <cmath>

#include "driver.hpp"
#include "target.hpp"

namespace qiwa::driver {
namespace {

using WindowHandle = Handle<SimpleTraits<HWND, &DestroyWindow>>;

std::wstring process_name(DWORD pid) {
  SnapshotHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W p{};
  p.dwSize = sizeof p;
  for (BOOL ok = snap && Process32FirstW(snap.get(), &p); ok; ok = Process32NextW(snap.get(), &p))
    if (p.th32ProcessID == pid) return p.szExeFile;
  return L"";
}

void write_any_window(Json& j, HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  j.begin_object().key("hwnd").num(reinterpret_cast<std::uintptr_t>(h)).key("class").str(class_name(h));
  j.key("title").str(window_text(h)).key("process").str(process_name(pid)).key("rect").rect(r);
  j.key("exstyle").num(GetWindowLongW(h, GWL_EXSTYLE)).key("visible").boolean(IsWindowVisible(h));
  j.key("children").begin_array();
  for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    GetWindowRect(c, &r);
    j.begin_object().key("class").str(class_name(c)).key("title").str(window_text(c)).key("rect").rect(r);
    j.key("visible").boolean(IsWindowVisible(c)).end_object();
  }
  j.end_array().end_object();
}

// Every top-level window on the screen, top of the z-order first (the hidden ones too with --all).
void cmd_windows(const Args& a, Json& j) {
  const bool all = has_flag(a, L"--all");
  j.key("windows").begin_array();
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT))
    if (all || IsWindowVisible(h)) write_any_window(j, h);
  j.end_array();
}

POINT point_arg(const Args& a, std::size_t i) { return {number(a, i, L"x"), number(a, i + 1, L"y")}; }

INPUT mouse_input(DWORD flags, POINT at = {}) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    const int w = GetSystemMetrics(SM_CXSCREEN) - 1, h = GetSystemMetrics(SM_CYSCREEN) - 1;
    in.mi.dx = static_cast<LONG>(std::lround(at.x * 65535.0 / w));
    in.mi.dy = static_cast<LONG>(std::lround(at.y * 65535.0 / h));
  }
  return in;
}

void move_mouse(POINT at) {
  INPUT in = mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
  SendInput(1, &in, sizeof in);
}

// The driver's messages for a while, so that its own window sees its input.
void pump(int ms, const std::function<bool()>& done = [] { return false; }) {
  wait_until(ms, [&] {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    return done();
  });
}

// A real mouse click at a screen point: "mouse X Y [--right]".
void cmd_mouse(const Args& a, Json& j) {
  const POINT p = point_arg(a, 1);
  mouse_click(p, has_flag(a, L"--right"));
  j.key("under").str(class_name(WindowFromPoint(p)));
}

// Rests the mouse at a screen point: "hover X Y".
void cmd_hover(const Args& a, Json&) { move_mouse(point_arg(a, 1)); }

// The left button pressed at a point, the mouse moved by (DX, DY) in steps, released: "drag X Y DX DY".
void cmd_drag(const Args& a, Json&) {
  const POINT from = point_arg(a, 1);
  const int dx = number(a, 3, L"dx"), dy = number(a, 4, L"dy");
  move_mouse(from);
  Sleep(100);
  INPUT down = mouse_input(MOUSEEVENTF_LEFTDOWN);
  SendInput(1, &down, sizeof down);
  constexpr int kSteps = 8;
  for (int i = 1; i <= kSteps; ++i) {
    Sleep(40);
    move_mouse({from.x + dx * i / kSteps, from.y + dy * i / kSteps});
  }
  Sleep(100);
  INPUT up = mouse_input(MOUSEEVENTF_LEFTUP);
  SendInput(1, &up, sizeof up);
}

// The driver's own window: a plain one that counts the clicks and keys it gets.
struct Witness {
  int clicks = 0;
  int keys = 0;
};

LRESULT CALLBACK witness_proc(HWND h, UINT message, WPARAM wp, LPARAM lp) {
  auto* w = reinterpret_cast<Witness*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  if (w && message == WM_LBUTTONDOWN) ++w->clicks;
  if (w && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) ++w->keys;
  return DefWindowProcW(h, message, wp, lp);
}

// Shown at a rect (screen pixels), active, below every topmost window.
WindowHandle open_witness(Witness& w, RECT r) {
  WNDCLASSW cls{};
  cls.lpfnWndProc = witness_proc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.lpszClassName = L"QiwaDriverWitness";
  RegisterClassW(&cls);
  WindowHandle h(CreateWindowExW(0, cls.lpszClassName, L"driver", WS_POPUP | WS_VISIBLE, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, nullptr, nullptr, cls.hInstance, &w));
  if (!h) fail(1, L"cannot open the driver's window");
  SetForegroundWindow(h.get());
  SetFocus(h.get());
  pump(300, [&] { return GetForegroundWindow() == h.get(); });
  return h;
}

// A window of the driver's under the program's topmost ones at a rect, a real click at a point:
// "click-below LEFT TOP WIDTH HEIGHT X Y". Says whether the driver's window got the click.
void cmd_click_below(const Args& a, Json& j) {
  const int left = number(a, 1, L"left"), top = number(a, 2, L"top");
  const RECT r{left, top, left + number(a, 3, L"width"), top + number(a, 4, L"height")};
  const POINT p = point_arg(a, 5);
  Witness w;
  WindowHandle h = open_witness(w, r);
  j.key("under").str(class_name(WindowFromPoint(p)));
  mouse_click(p, false);
  pump(1500, [&] { return w.clicks > 0; });
  j.key("clicks").num(w.clicks);
}

// Ctrl+Alt and a key from the keyboard while a window of the driver's has the focus: "global-key VK".
void cmd_global_key(const Args& a, Json& j) {
  const auto vk = static_cast<WORD>(number(a, 1, L"virtual key code"));
  Witness w;
  WindowHandle h = open_witness(w, {0, 0, 200, 100});
  j.key("focused").boolean(GetForegroundWindow() == h.get());
  const WORD keys[] = {VK_CONTROL, VK_MENU, vk, vk, VK_MENU, VK_CONTROL};
  INPUT in[6] = {};
  for (int i = 0; i < 6; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = keys[i];
    in[i].ki.dwFlags = i < 3 ? 0 : KEYEVENTF_KEYUP;
  }
  j.key("sent").num(static_cast<long long>(SendInput(6, in, sizeof(INPUT))));
  pump(500);
  j.key("keys_seen").num(w.keys);  // the Ctrl and Alt went to the driver's window, the hot key not
}

// Holds Ctrl+Alt and a key as this program's global hot key for MS ms, as another program would:
// "hold-key VK MS". Prints {"held": ...} once it holds it (or could not), then waits.
void cmd_hold_key(const Args& a, Json& j) {
  const auto vk = static_cast<UINT>(number(a, 1, L"virtual key code"));
  constexpr int kHeld = 0x7A11;
  const bool held = RegisterHotKey(nullptr, kHeld, MOD_CONTROL | MOD_ALT, vk);
  Json line;
  line.begin_object().key("held").boolean(held).end_object();
  print(line.text());
  pump(number(a, 2, L"milliseconds"));
  if (held) UnregisterHotKey(nullptr, kHeld);
  j.key("held").boolean(held);
}


// Wine's notification area on a screen with no tray of its own: a window of the system's, one child
// window per icon.
constexpr wchar_t kTrayClass[] = L"__winex11_standalone_tray";
constexpr wchar_t kIconClass[] = L"__winex11_tray_icon";

std::vector<HWND> tray_icons() {
  std::vector<HWND> icons;
  for (HWND tray = FindWindowExW(nullptr, nullptr, kTrayClass, nullptr); tray;
       tray = FindWindowExW(nullptr, tray, kTrayClass, nullptr))
    for (HWND c = FindWindowExW(tray, nullptr, kIconClass, nullptr); c; c = FindWindowExW(tray, c, kIconClass, nullptr))
      if (IsWindowVisible(c) && IsWindowVisible(tray)) icons.push_back(c);
  return icons;
}

HWND tray_icon(const Args& a) {
  const auto icons = tray_icons();
  const int i = a.size() > 1 ? _wtoi(a[1].c_str()) : 0;
  if (i < 0 || i >= static_cast<int>(icons.size())) fail(3, L"no such icon in the notification area");
  return icons[static_cast<std::size_t>(i)];
}

// The icons shown in the notification area, where they lie on the screen: "tray".
void cmd_tray(const Args&, Json& j) {
  j.key("icons").begin_array();
  for (HWND icon : tray_icons()) {
    RECT r{};
    GetWindowRect(icon, &r);
    j.begin_object().key("rect").rect(r).end_object();
  }
  j.end_array();
}

// The mouse rested on an icon, the tip that shows: "tray-tip [N]".
void cmd_tray_tip(const Args& a, Json& j) {
  const POINT p = centre_on_screen(tray_icon(a));
  move_mouse({p.x - 2, p.y - 2});
  Sleep(100);
  move_mouse(p);
  std::wstring tip;
  const bool shown = wait_until(5000, [&] {
    for (HWND h = FindWindowExW(nullptr, nullptr, L"tooltips_class32", nullptr); h;
         h = FindWindowExW(nullptr, h, L"tooltips_class32", nullptr))
      if (IsWindowVisible(h) && !(tip = window_text(h)).empty()) return true;
    return false;
  });
  move_mouse({p.x + 300, p.y + 300});  // away, so the tip goes
  if (!shown) fail(1, L"no tip showed over the icon");
  j.key("tip").str(tip);
}

// A real click on an icon (--right: the right button, and the menu that opens is read): "tray-click [N]".
void cmd_tray_click(const Args& a, Json& j) {
  const bool right = has_flag(a, L"--right");
  mouse_click(centre_on_screen(tray_icon(a)), right);
  if (!right) return;
  HWND popup = open_menu(3000);
  if (!popup) fail(1, L"no menu appeared");
  write_menu(j, popup);
}

}  // namespace

void add_desk_commands(std::map<std::wstring, Command>& table) {
  table.insert({{L"windows", cmd_windows},
                {L"mouse", cmd_mouse},
                {L"hover", cmd_hover},
                {L"drag", cmd_drag},
                {L"click-below", cmd_click_below},
                {L"global-key", cmd_global_key},
                {L"hold-key", cmd_hold_key},
                {L"tray", cmd_tray},
                {L"tray-tip", cmd_tray_tip},
                {L"tray-click", cmd_tray_click}});
}

}  // namespace qiwa::driver
