#pragma once
// Finds the program's process and main window, and names its controls the way tests do.
#include <windows.h>

#include <string>
#include <vector>

namespace qiwa::driver {

// Processes whose image name is `exe` (case-insensitive), e.g. L"QiwaMusic.exe".
std::vector<DWORD> processes_named(const std::wstring& exe);

// The first unowned top-level window of one of `pids` that is not a dialog or menu; visible ones first.
HWND find_main_window(const std::vector<DWORD>& pids);

// Top-level windows of `pids` with the given class (e.g. L"#32770", L"#32768"), visible only.
std::vector<HWND> top_windows_of_class(const std::vector<DWORD>& pids, const wchar_t* cls);

// Direct children in z-order, which is the order the program created them.
std::vector<HWND> child_controls(HWND main);

// "选择框1".."编辑框1" (the program's control order), "#N" (index), "id:N" (control id),
// "Class:N" (N-th child of that window class). nullptr when nothing matches.
HWND resolve_control(HWND main, const std::wstring& name);

// Name of the control at `index` in the program's order, or "" past the known ten.
std::wstring control_name(std::size_t index, HWND h);

std::wstring window_text(HWND h);
std::wstring class_name(HWND h);
// Rectangle of `h` in the client coordinates of `main`.
RECT rect_in_client(HWND main, HWND h);

}  // namespace qiwa::driver
