// Measurements of the Windows build under Wine, printed as one JSON line (tools/figures runs them).
//   win32_bench startup PROGRAM.exe   ms until the program's first visible top-level window, and its
//                                     working set after 2 s idle; the program is then ended
//   win32_bench download URL          WinHTTP download to a null sink: MB/s and peak working set
//   win32_bench play FILE.mp3 CAPTURE ms from play() until the captured audio file starts to grow
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "runtime/win32/wide.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"

namespace {

using qiwa::KernelHandle;

std::string utf8_of(const wchar_t* w) { return qiwa::narrow(w); }

double now_ms() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Search {
  DWORD pid;
  bool found;
};

BOOL CALLBACK visible_window_of(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == s->pid && IsWindowVisible(h)) s->found = true;
  return !s->found;
}

std::size_t working_set_kb(HANDLE process, bool peak) {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (!GetProcessMemoryInfo(process, &m, sizeof m)) return 0;
  return (peak ? m.PeakWorkingSetSize : m.WorkingSetSize) / 1024;
}

int startup(const wchar_t* exe) {
  std::wstring command = L"\"" + std::wstring(exe) + L"\"";
  std::wstring dir(exe);
  dir = dir.substr(0, dir.find_last_of(L"\\/") == std::wstring::npos ? 0 : dir.find_last_of(L"\\/"));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const double start = now_ms();
  if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.empty() ? nullptr : dir.c_str(),
                      &si, &pi))
    return std::printf("{\"error\":\"cannot start the program\"}\n"), 1;
  KernelHandle process(pi.hProcess), thread(pi.hThread);
  Search s{pi.dwProcessId, false};
  while (!s.found && now_ms() - start < 30000) {
    EnumWindows(visible_window_of, reinterpret_cast<LPARAM>(&s));
    if (!s.found) Sleep(1);
  }
  const double shown = now_ms() - start;
  Sleep(2000);
  std::printf("{\"startup_ms\":%.1f,\"window\":%s,\"idle_working_set_kb\":%u}\n", shown, s.found ? "true" : "false",
              static_cast<unsigned>(working_set_kb(process.get(), false)));
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
  return s.found ? 0 : 1;
}

int download(const wchar_t* url) {
  auto downloader = qiwa::make_winhttp_downloader();
  std::uint64_t received = 0;
  const double start = now_ms();
  auto result = downloader->download(utf8_of(url), [&](const unsigned char*, std::size_t n) {
    received += n;
    return true;
  });
  const double ms = now_ms() - start;
  std::printf("{\"status\":\"%s\",\"bytes\":%llu,\"ms\":%.1f,\"mb_per_s\":%.1f,\"peak_working_set_kb\":%u}\n",
              qiwa::describe(result.status), static_cast<unsigned long long>(received), ms,
              ms > 0 ? static_cast<double>(received) / 1e6 / (ms / 1000) : 0.0,
              static_cast<unsigned>(working_set_kb(GetCurrentProcess(), true)));
  return result.status == qiwa::DownloadStatus::ok ? 0 : 1;
}

long long file_size(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA a{};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &a)) return -1;
  return (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

int play(const wchar_t* mp3, const wchar_t* capture) {
  auto player = qiwa::make_waveout_player();
  const long long before = file_size(capture);
  const double start = now_ms();
  if (!player->play(utf8_of(mp3), 1)) return std::printf("{\"error\":\"not playable\"}\n"), 1;
  double first = -1;
  while (now_ms() - start < 10000) {
    if (file_size(capture) > before) {
      first = now_ms() - start;
      break;
    }
    Sleep(1);
  }
  player->stop();
  std::printf("{\"first_audio_ms\":%.1f}\n", first);
  return first >= 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if (what == L"startup" && argc > 2) return startup(argv[2]);
  if (what == L"download" && argc > 2) return download(argv[2]);
  if (what == L"play" && argc > 3) return play(argv[2], argv[3]);
  std::fprintf(stderr, "usage: win32_bench startup EXE | download URL | play FILE.mp3 CAPTURE\n");
  return 2;
}
