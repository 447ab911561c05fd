// Entry point: the backends, the application, the main window and its message loop.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>

#include "app/application.hpp"
#include "app/command_line.hpp"
#include "app/win32/window_win32.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/wide.hpp"

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

// std::terminate's default handler prints the exception's demangled type to a console a GUI program does
// not have, and carries the whole demangler (about 45 KB) for it; this one ends the process the same way.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  restrict_dll_search();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  using namespace qiwa;
  // --service is this run's alone: it stands over the settings' address and is never kept in them.
  TextArray args;
  for (int i = 1; i < __argc; ++i) args.push_back(narrow(__wargv[i]));
  const CommandLine line = parse_command_line(args, "");
  if (!line.error.empty()) {
    MessageBoxW(nullptr, wide(line.error).c_str(), L"Qiwa音乐", MB_OK | MB_ICONERROR);
    return 2;
  }
  Win32Platform backends;
  const Platform platform = backends.platform();
  std::unique_ptr<Stores> stores = open_stores(platform, QIWA_SERVICE_HOST);
  stores->settings.load();  // small: the window's place and look come from it
  Win32MainWindow window(instance);
  AppContext context(window, platform, *stores,
                     line.service_host.empty() ? stores->settings.service() : line.service_host);
  Application application(context);
  window.set_handler([&application](WindowEvent event) { application.on_event(event); });

  int code = 1;
  if (window.create()) {
    window.show(show_command);
    application.on_event(WindowEvent::shown);
    code = run_message_loop();
  }
  // The closing stopped every worker's work and removed every unfinished download. A worker still held in
  // a network call past the wait is ended with the process, before anything it uses is freed.
  if (!platform.executor.close()) ExitProcess(static_cast<UINT>(code));
  return code;
}
