#pragma once
// What the driver's commands share: their arguments, their failure, the program's windows, real input.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "json.hpp"
#include "remote.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa::driver {

using Args = std::vector<std::wstring>;
using SnapshotHandle = Handle<SimpleTraits<HANDLE, &CloseHandle, -1>>;  // CreateToolhelp32Snapshot
using Command = void (*)(const Args&, Json&);

struct Failure {
  int code;  // process exit code
  std::wstring message;
};

// 1 failed, 2 usage, 3 no window, 4 no such control.
[[noreturn]] void fail(int code, std::wstring message);
void print(const std::string& s);

std::vector<DWORD> target_pids();
HWND main_window();
HWND control(HWND main, const Args& a, std::size_t i, const wchar_t* fallback = nullptr);
const std::wstring& arg(const Args& a, std::size_t i, const wchar_t* what);
int number(const Args& a, std::size_t i, const wchar_t* what);
bool has_flag(const Args& a, const wchar_t* flag);
LRESULT send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
bool wait_until(int ms, const std::function<bool()>& done);

// Real input at a screen point, the way a mouse would give it.
void mouse_click(POINT p, bool right);
POINT centre_on_screen(HWND h);

void write_window(Json& j, HWND main);
// The program's first visible top-level window of a class, waiting up to wait_ms for one.
HWND first_top_window(const wchar_t* cls, int wait_ms);
HWND open_menu(int wait_ms);
std::vector<MenuItem> write_menu(Json& j, HWND popup);

// The commands of desk.cpp: the desktop's windows, the tray, real input elsewhere.
void add_desk_commands(std::map<std::wstring, Command>& table);

}  // namespace qiwa::driver
