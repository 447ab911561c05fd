// Entry point: the backends, the application, the main window and its message loop.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>

#include "app/application.hpp"
#include "app/command_line.hpp"
#include "runtime/win32/wide.hpp"
#include "runtime/win32/backends.hpp"
#include "app/win32/window_win32.hpp"

namespace {

// DLLs are then looked up in the system directory only, never beside the program
// (SetDefaultDllDirectories needs KB2533623 on Windows 7, hence looked up at run time).
void restrict_dll_search() {
  SetDllDirectoryW(L"");  // without the update below, this at least drops the current directory
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  restrict_dll_search();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  using namespace qiwa;
  TextArray args;
  for (int i = 1; i < __argc; ++i) args.push_back(narrow(__wargv[i]));
  const CommandLine line = parse_command_line(args, QIWA_SERVICE_HOST);
  if (!line.error.empty()) {
    MessageBoxW(nullptr, wide(line.error).c_str(), L"Qiwa音乐", MB_OK | MB_ICONERROR);
    return 2;
  }
  // Nothing below is ever destroyed: detached workers may still use it until ExitProcess.
  auto* window = new Win32MainWindow(instance);
  auto* context =
      new std::shared_ptr<AppContext>(std::make_shared<AppContext>(*window, win32_platform(), line.service_host));
  auto* application = new Application(*context);
  window->set_handler([application](WindowEvent event) { application->on_event(event); });

  int code = 1;
  if (window->create()) {
    window->show(show_command);
    code = run_message_loop();
  }
  // The closing removed every unfinished download: nothing is left to wait for, and ending the process
  // drops every transfer still running.
  ExitProcess(static_cast<UINT>(code));
}
