// Measurements of the Windows build under Wine, printed as one JSON line (tools/figures runs them).
//   win32_bench startup PROGRAM.exe   ms until the program's first visible top-level window, its
//                                     working set after 2 s idle and the time of a whole repaint; the
//                                     program is then ended
//   win32_bench download URL          WinHTTP download to a null sink: MB/s and peak working set
//   win32_bench play FILE.mp3 CAPTURE ms from play() until the captured audio file starts to grow
//   win32_bench play-cost FILE.mp3 [S] private bytes idle and while playing, CPU (user + system) per
//                                     second of wall time over S s (default 20) of playing
//   win32_bench download-plain URL    the yardstick: the plainest WinHTTP loop, 1 MiB reads, no sink
//   win32_bench play-floor [S]        the yardstick of play-cost: private bytes and CPU of a bare device
//                                     fed silence for S s, and private bytes of one more idle thread
//   win32_bench desktop-lyrics        the desktop lyrics following a song that plays by the clock: private
//                                     bytes before and after the window shows, CPU over 10 s with it on
//                                     and over 10 s with it off, and the pictures it drew
//   win32_bench strip                 the main window as the program shows it, skinned, its seek bar and
//                                     time moved as they move while a song plays (once a second), against
//                                     the same window left alone: CPU per second of wall time of each,
//                                     six times 5 s of either, alternating; the same of a bare window's
//                                     plain text and track bar told the same by the plainest calls
//   win32_bench seek STEPS.mp3 CAPTURE ms from seek() until the captured audio holds the tone of the new
//                                     place (tests/data/steps.mp3: a tone a half second), and from a turn
//                                     of the volume until it is heard, beside the ms from play() to the
//                                     first captured audio
//   win32_bench switch A.mp3 B.mp3 CAPTURE  the longest silence inside the captured sound of A and B
//                                     played back to back by the player, beside the same decoded
//                                     samples written to a bare device in one go (what the files hold)
// The bench's sound device has a clock: sound is taken at its real rate, so the sound played in a
// measure ("sound_ms") is the wall time it took, and CPU per wall second is the CPU of real-time play.
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>
#include <psapi.h>
#include <wincodec.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <string>

#include "app/desktop_lyrics.hpp"
#include "app/startup.hpp"
#include "app/win32/window_win32.hpp"
#include "app/win32/desktop_lyrics_paint_win32.hpp"
#include "app/win32/desktop_lyrics_win32.hpp"
#include "runtime/win32/wide.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/winhttp_common.hpp"
#include "runtime/song_loudness.hpp"
#include "runtime/song_source.hpp"
#include "runtime/song_stream.hpp"
#include "skin/skin_blobs.hpp"

namespace {

using qiwa::KernelHandle;
using WaveOut = qiwa::Handle<qiwa::SimpleTraits<HWAVEOUT, &waveOutClose>>;

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
  HWND hwnd = nullptr;
};

BOOL CALLBACK visible_window_of(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == s->pid && IsWindowVisible(h)) s->found = true, s->hwnd = h;
  return !s->found;
}

std::size_t private_kb(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof m;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m)) return 0;
  // Wine fills only the short form, whose commit charge is the same figure.
  return (m.cb >= sizeof m && m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage) / 1024;
}

std::size_t working_set_kb(HANDLE process, bool peak) {
  PROCESS_MEMORY_COUNTERS m{};
  m.cb = sizeof m;
  if (!GetProcessMemoryInfo(process, &m, sizeof m)) return 0;
  return (peak ? m.PeakWorkingSetSize : m.WorkingSetSize) / 1024;
}

// The least of five whole repaints of the window, frames and children included: what the first
// painting after start-up costs once the fonts are loaded.
double repaint_ms(HWND hwnd) {
  double least = 1e9;
  for (int i = 0; i < 5; ++i) {
    const double start = now_ms();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    least = std::min(least, now_ms() - start);
  }
  return least;
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
  const std::size_t idle_kb = working_set_kb(process.get(), false);
  std::printf("{\"startup_ms\":%.1f,\"window\":%s,\"idle_working_set_kb\":%u,\"repaint_ms\":%.1f}\n", shown,
              s.found ? "true" : "false", static_cast<unsigned>(idle_kb), s.found ? repaint_ms(s.hwnd) : -1.0);
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
  auto files = qiwa::make_win32_files();
  auto player = qiwa::make_waveout_player(*files);
  player->prepare();  // as the program does while the song downloads
  Sleep(1000);
  const long long before = file_size(capture);
  const double start = now_ms();
  if (!player->play_file(utf8_of(mp3))) return std::printf("{\"error\":\"not playable\"}\n"), 1;
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

double cpu_ms() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME f) { return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4; };
  return ms(kernel) + ms(user);
}

double seconds_arg(int argc, wchar_t** argv, int at) { return argc > at ? _wtof(argv[at]) : 20.0; }

int play_cost(const wchar_t* mp3, double seconds) {
  auto files = qiwa::make_win32_files();
  auto player = qiwa::make_waveout_player(*files);
  player->prepare();
  Sleep(500);
  const std::size_t idle = private_kb(GetCurrentProcess());
  if (!player->play_file(utf8_of(mp3))) return std::printf("{\"error\":\"not playable\"}\n"), 1;
  Sleep(3000);  // past the first buffers and the device's start
  const std::size_t playing = private_kb(GetCurrentProcess());
  const double cpu0 = cpu_ms(), wall0 = now_ms();
  const std::int64_t sound0 = player->position_ms();
  Sleep(static_cast<DWORD>(seconds * 1000));
  const double cpu = cpu_ms() - cpu0, wall = now_ms() - wall0;
  const std::int64_t sound = player->position_ms() - sound0;
  const std::size_t late = private_kb(GetCurrentProcess());
  player->stop();
  std::printf("{\"idle_private_kb\":%u,\"playing_private_kb\":%u,\"late_private_kb\":%u,\"cpu_percent\":%.3f,"
              "\"sound_ms\":%lld,\"wall_ms\":%.0f}\n",
              static_cast<unsigned>(idle), static_cast<unsigned>(playing), static_cast<unsigned>(late),
              100.0 * cpu / wall, static_cast<long long>(sound), wall);
  return 0;
}

DWORD WINAPI wait_for(void* event) { return WaitForSingleObject(event, INFINITE); }

// Keeps four quarter-second buffers of silence queued for `ms` of wall time; the sound played, in ms.
long long feed_silence(HWAVEOUT device, HANDLE done, WAVEHDR (&headers)[4], double ms) {
  long long played = 0;
  for (const double start = now_ms(); now_ms() - start < ms;) {
    WaitForSingleObject(done, 100);
    for (WAVEHDR& h : headers) {
      if (!(h.dwFlags & WHDR_DONE)) continue;
      played += 250;
      waveOutWrite(device, &h, sizeof h);
    }
  }
  return played;
}

// The yardstick of play-cost: what any waveOut player with a thread of its own costs under this Wine,
// whatever it decodes. Private bytes of the device opened and playing (the sound system's own threads)
// and of one more thread (Wine commits about 1 MB for every thread, whatever the size of its stack); CPU
// per second of wall time while the device is fed silence, as play-cost gives it.
// What the program has loaded besides the sound device when it plays: WinHTTP, WIC's factory and an
// open MP3 codec stream; kept to the end, as the program keeps them.
void load_system_parts() {
  LoadLibraryW(L"winhttp.dll");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IWICImagingFactory* wic = nullptr;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic));
  MPEGLAYER3WAVEFORMAT mp3{};
  mp3.wfx = {WAVE_FORMAT_MPEGLAYER3, 2, 44100, 128000 / 8, 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
  mp3.wID = MPEGLAYER3_ID_MPEG;
  mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
  mp3.nBlockSize = 417;
  mp3.nFramesPerBlock = 1;
  WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
  HACMSTREAM stream = nullptr;
  acmStreamOpen(&stream, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, 0);
}

int play_floor(double seconds) {
  load_system_parts();
  waveOutGetNumDevs();  // the driver loaded before "idle", as play-cost's prepare() does
  Sleep(500);
  const std::size_t idle = private_kb(GetCurrentProcess());
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
  KernelHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(done.get()), 0, CALLBACK_EVENT) !=
      MMSYSERR_NOERROR)
    return std::printf("{\"error\":\"no device\"}\n"), 1;
  std::string silence(4 * 44100, '\0');
  WAVEHDR headers[4]{};
  for (int i = 0; i < 4; ++i) {
    headers[i].lpData = silence.data() + i * 44100;
    headers[i].dwBufferLength = 44100;
    waveOutPrepareHeader(device, &headers[i], sizeof headers[i]);
    waveOutWrite(device, &headers[i], sizeof headers[i]);
  }
  feed_silence(device, done.get(), headers, 3000);  // past the device's start, as play-cost waits
  const std::size_t playing = private_kb(GetCurrentProcess());
  KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  KernelHandle thread(CreateThread(nullptr, 64 * 1024, wait_for, stop.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  feed_silence(device, done.get(), headers, 200);
  const std::size_t threaded = private_kb(GetCurrentProcess());
  const double cpu0 = cpu_ms(), wall0 = now_ms();
  const long long sound = feed_silence(device, done.get(), headers, seconds * 1000);
  const double cpu = cpu_ms() - cpu0, wall = now_ms() - wall0;
  SetEvent(stop.get());
  WaitForSingleObject(thread.get(), INFINITE);
  waveOutReset(device);
  for (WAVEHDR& h : headers) waveOutUnprepareHeader(device, &h, sizeof h);
  waveOutClose(device);
  std::printf("{\"idle_private_kb\":%u,\"device_kb\":%d,\"thread_kb\":%d,\"sound_ms\":%lld,\"wall_ms\":%.0f,"
              "\"cpu_percent\":%.3f}\n",
              static_cast<unsigned>(idle), static_cast<int>(playing - idle), static_cast<int>(threaded - playing),
              sound, wall, 100.0 * cpu / wall);
  return 0;
}

int download_plain(const wchar_t* url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  wchar_t host[256], path[2048];
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!WinHttpCrackUrl(url, 0, 0, &parts)) return 1;
  qiwa::WinHttpHandle session(WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
  qiwa::WinHttpHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
  qiwa::WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, nullptr, nullptr, 0));
  const double start = now_ms();
  if (!request || !WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr))
    return std::printf("{\"error\":\"transport\"}\n"), 1;
  std::string buffer(1 << 20, '\0');
  std::uint64_t received = 0;
  DWORD got = 0;
  while (WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got > 0)
    received += got;
  const double ms = now_ms() - start;
  std::printf("{\"bytes\":%llu,\"ms\":%.1f,\"mb_per_s\":%.1f,\"peak_working_set_kb\":%u}\n",
              static_cast<unsigned long long>(received), ms, ms > 0 ? static_cast<double>(received) / 1e6 / (ms / 1000) : 0.0,
              static_cast<unsigned>(working_set_kb(GetCurrentProcess(), true)));
  return 0;
}

// A song that plays by the wall clock from its start; nothing is heard.
class ClockPlayer : public qiwa::Player {
 public:
  bool play(const qiwa::Song&, const qiwa::StartAt&) override { return true; }
  void set_next(std::optional<qiwa::Song>) override {}
  void set_listener(std::function<void(const qiwa::PlayerEvent&)>) override {}
  qiwa::SeekResult seek(std::int64_t) override { return {}; }
  void pause() override {}
  void resume() override {}
  void stop() override {}
  void set_volume(int) override {}
  int volume() const override { return 100; }
  qiwa::PlayerPosition position() override {
    qiwa::PlayerPosition at;
    at.id = 1;
    at.ms = static_cast<std::int64_t>(now_ms() - start_);
    return at;
  }

 private:
  double start_ = now_ms();
};

// The Win32 window, counting the pictures it was asked to show.
class CountingWindow : public qiwa::DesktopLyricsWindow {
 public:
  explicit CountingWindow(qiwa::DesktopLyricsWindow& inner) : inner_(inner) {}
  void show(const qiwa::DesktopPicture& p) override { ++shown, inner_.show(p); }
  int line_width_px() override { return inner_.line_width_px(); }
  void set_visible(bool v) override { inner_.set_visible(v); }
  void set_locked(bool l) override { inner_.set_locked(l); }
  void set_place(const qiwa::DesktopPlace& p) override { inner_.set_place(p); }
  qiwa::DesktopPlace place() override { return inner_.place(); }
  void start_timer(int ms, std::function<void()> fire) override { inner_.start_timer(ms, std::move(fire)); }
  void stop_timer() override { inner_.stop_timer(); }
  int shown = 0;

 private:
  qiwa::DesktopLyricsWindow& inner_;
};

void pump_for(double ms) {
  for (const double end = now_ms() + ms; now_ms() < end;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max(1.0, end - now_ms())), QS_ALLINPUT);
    for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
  }
}

// A line every 4 s, each sung over its 4 s: the fill moves all the time, as fast as it may (30 a second).
int desktop_lyrics() {
  std::string lrc;
  for (int i = 0; i < 40; ++i) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "[%02d:%02d.00]", i * 4 / 60, i * 4 % 60);
    lrc += std::string(tag) + "刮风这天 我试过握着你手 但偏偏 雨渐渐 大到我看你不见\n";
  }
  // "Before" with the font engine already in use, as the program's own window has it.
  qiwa::line_mask(L"刮风这天", 200, qiwa::Band{0, 60, 36, 2}, true);
  const std::size_t before = private_kb(GetCurrentProcess());
  auto window = qiwa::Win32DesktopLyrics::create(GetModuleHandleW(nullptr), {});
  if (!window) return std::printf("{\"error\":\"no window\"}\n"), 1;
  CountingWindow counting(*window);
  ClockPlayer player;
  qiwa::DesktopLyricsFollower follower(counting, player);
  follower.follow(qiwa::DesktopLyrics(qiwa::read_lyrics(lrc), "晴天", "周杰伦"));
  follower.set_enabled(true);
  pump_for(1000);
  const std::size_t shown = private_kb(GetCurrentProcess());
  double cpu0 = cpu_ms(), wall0 = now_ms();
  const int pictures0 = counting.shown;
  pump_for(10000);
  const double on = 100.0 * (cpu_ms() - cpu0) / (now_ms() - wall0);
  const int pictures = counting.shown - pictures0;
  follower.set_enabled(false);
  cpu0 = cpu_ms(), wall0 = now_ms();
  pump_for(10000);
  const double off = 100.0 * (cpu_ms() - cpu0) / (now_ms() - wall0);
  std::printf("{\"private_kb_before\":%u,\"private_kb_shown\":%u,\"cpu_percent_on\":%.3f,\"cpu_percent_off\":%.3f,"
              "\"pictures_in_10_s\":%d}\n",
              static_cast<unsigned>(before), static_cast<unsigned>(shown), on, off, pictures);
  return 0;
}

// CPU per second of wall time with a once-a-second `tick` running and with it stopped, each 5 s six
// times, alternating (the process's CPU time moves in 10 ms steps under Wine).
struct OnOff {
  double on = 0, off = 0;
};
OnOff tick_cost(HWND window, const std::function<void()>& tick) {
  constexpr UINT_PTR kTimer = 77;
  double on = 0, off = 0, on_wall = 0, off_wall = 0;
  for (int round = 0; round < 6; ++round) {
    double cpu0 = cpu_ms(), wall0 = now_ms();
    pump_for(5000);
    off += cpu_ms() - cpu0, off_wall += now_ms() - wall0;
    SetTimer(window, kTimer, 1000, nullptr);
    cpu0 = cpu_ms(), wall0 = now_ms();
    for (const double end = wall0 + 5000; now_ms() < end;) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max(1.0, end - now_ms())), QS_ALLINPUT);
      for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
        if (m.message == WM_TIMER && m.wParam == kTimer) tick();
        else DispatchMessageW(&m);
      }
    }
    on += cpu_ms() - cpu0, on_wall += now_ms() - wall0;
    KillTimer(window, kTimer);
  }
  return {100.0 * on / on_wall, 100.0 * off / off_wall};
}

// The window's strip following a song: the position tick's own call (show_time once a second of the song,
// each time a new second and a step of the seek bar, as while a song plays) against the same skinned
// window left alone; and the floor: a bare window's static text and track bar of the same sizes, told
// the same once a second, unskinned, by the plainest calls.
int strip() {
  qiwa::Win32Platform backends;
  const qiwa::Platform platform = backends.platform();
  qiwa::Win32MainWindow window(GetModuleHandleW(nullptr));
  if (!window.create()) return std::printf("{\"error\":\"no window\"}\n"), 1;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::string library = qiwa::narrow(temp) + "qiwa-bench-skin.dll";
  const auto image = qiwa::skin_library_image();
  platform.files.write(library, qiwa::Bytes(image.begin(), image.end()));
  qiwa::LibraryBindings libraries(platform.libraries);
  const bool skinned = qiwa::attach_skin(platform.files, libraries, library, qiwa::skin_data(), nullptr, 0, 0, 0);
  window.show(SW_SHOWNORMAL);
  pump_for(1000);
  constexpr std::int64_t kSongMs = 4 * 60 * 1000;
  std::int64_t elapsed = 0;
  const OnOff ours = tick_cost(window.hwnd(), [&] {
    elapsed = (elapsed + 1000) % kSongMs;
    window.show_time(qiwa::SongTime{elapsed, kSongMs, kSongMs});
  });
  ShowWindow(window.hwnd(), SW_HIDE);

  HWND bare = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 120, nullptr, nullptr,
                              nullptr, nullptr);
  HWND bar = CreateWindowExW(0, TRACKBAR_CLASSW, L"", WS_CHILD | WS_VISIBLE | TBS_NOTICKS | TBS_BOTH, 2, 2, 458, 24,
                             bare, nullptr, nullptr, nullptr);
  HWND text = CreateWindowExW(0, L"STATIC", L"0:00 / 4:00", WS_CHILD | WS_VISIBLE | SS_RIGHT, 462, 6, 130, 18, bare,
                              nullptr, nullptr, nullptr);
  SendMessageW(bar, TBM_SETRANGEMAX, TRUE, kSongMs / 1000);
  pump_for(1000);
  int second = 0;
  const OnOff floor = tick_cost(bare, [&] {
    second = (second + 1) % static_cast<int>(kSongMs / 1000);
    wchar_t shown[32];
    std::swprintf(shown, 32, L"%d:%02d / 4:00", second / 60, second % 60);
    SendMessageW(bar, TBM_SETPOS, TRUE, second);
    SetWindowTextW(text, shown);
  });
  DestroyWindow(bare);
  std::printf("{\"skinned\":%s,\"cpu_percent_on\":%.3f,\"cpu_percent_off\":%.3f,\"floor_percent_on\":%.3f,"
              "\"floor_percent_off\":%.3f}\n",
              skinned ? "true" : "false", ours.on, ours.off, floor.on, floor.off);
  return 0;
}

}  // namespace

// The tone of 20 ms of 16-bit mono from `at`, in Hz, counted by its crossings of zero.
double tone_at(const std::string& pcm, std::size_t at) {
  int crossings = 0, sign = 0;
  for (std::size_t i = at; i + 1 < pcm.size() && i < at + 2 * 882; i += 2) {
    const auto s = static_cast<std::int16_t>(static_cast<unsigned char>(pcm[i]) | static_cast<unsigned char>(pcm[i + 1]) << 8);
    const int now = s > 200 ? 1 : s < -200 ? -1 : 0;
    if (now != 0 && sign != 0 && now != sign) ++crossings;
    if (now != 0) sign = now;
  }
  return crossings * 50.0 / 2;
}

// The largest of `count` 16-bit samples from `at`, as a magnitude.
int peak_of(const std::string& pcm, std::size_t at, std::size_t count) {
  int peak = 0;
  for (std::size_t i = at; i + 1 < pcm.size() && i < at + 2 * count; i += 2)
    peak = std::max(peak, std::abs(static_cast<int>(static_cast<std::int16_t>(
                              static_cast<unsigned char>(pcm[i]) | static_cast<unsigned char>(pcm[i + 1]) << 8))));
  return peak;
}

std::string read_from(const wchar_t* path, long long from) {
  std::string data;
  qiwa::FileHandle f(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{}, at{};
  at.QuadPart = from;
  if (!f || !GetFileSizeEx(f.get(), &size) || size.QuadPart <= from ||
      !SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN))
    return data;
  data.resize(static_cast<std::size_t>(size.QuadPart - from));
  DWORD n = 0;
  if (!ReadFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &n, nullptr)) n = 0;
  data.resize(n);
  return data;
}

// The capture's channels, as the head of its marks file says (the bench's device: 2).
int capture_channels(const wchar_t* capture) {
  const std::string head = read_from((std::wstring(capture) + L".marks").c_str(), 0);
  int rate = 0, channels = 0;
  return std::sscanf(head.c_str(), "rate %d channels %d", &rate, &channels) == 2 && channels > 0 ? channels : 1;
}

// The first channel of 16-bit frames of `channels` channels.
std::string first_channel(const std::string& pcm, int channels) {
  const std::size_t frame = 2 * static_cast<std::size_t>(channels);
  std::string out;
  out.reserve(pcm.size() / static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i + frame <= pcm.size(); i += frame) out.append(pcm, i, 2);
  return out;
}

// ms from seek() until the capture, from where it stood at the call, holds the new place's tone (steps
// of 0.5 s from 300 Hz up by 100 Hz), for seeks at least 300 Hz away from the tone before them.
int seek(const wchar_t* mp3, const wchar_t* capture) {
  auto files = qiwa::make_win32_files();
  auto player = qiwa::make_waveout_player(*files);
  player->prepare();
  Sleep(1000);
  DeleteFileW(capture);  // what earlier runs left
  const double start = now_ms();
  if (!player->play_file(utf8_of(mp3))) return std::printf("{\"error\":\"not playable\"}\n"), 1;
  double first = -1;
  while (first < 0 && now_ms() - start < 10000) {
    if (file_size(capture) > 0) first = now_ms() - start;
    Sleep(1);
  }
  const int channels = capture_channels(capture);
  std::string times;
  for (const int ms : {3200, 1200, 2700, 200, 1700, 3700}) {
    if (player->position().ended && !player->play_file(utf8_of(mp3))) break;  // a busy machine let it end
    const long long mark = file_size(capture);
    const double hz = 300 + 100 * (ms / 500);
    const double asked = now_ms();
    if (!player->seek(ms).done) return std::printf("{\"error\":\"seek refused\"}\n"), 1;
    double heard = -1;
    while (heard < 0 && now_ms() - asked < 5000) {
      const std::string pcm = first_channel(read_from(capture, mark), channels);
      for (std::size_t at = 0; heard < 0 && at + 2 * 882 <= pcm.size(); at += 2 * 441)
        if (tone_at(pcm, at) > hz - 60 && tone_at(pcm, at) < hz + 60) heard = now_ms() - asked;
      Sleep(1);
    }
    times += (times.empty() ? "" : ",") + std::to_string(static_cast<int>(heard + 0.5));
    Sleep(150);  // into the new place before the next seek
  }
  // A turn of the volume down to a quarter: until the capture's samples from the call on come that quiet.
  if (player->position().ended) player->play_file(utf8_of(mp3));
  Sleep(100);
  const long long mark = file_size(capture);
  const double turned = now_ms();
  player->set_volume(25);
  double quieter = -1;
  while (quieter < 0 && now_ms() - turned < 5000) {
    const std::string pcm = first_channel(read_from(capture, mark), channels);
    for (std::size_t at = 0; quieter < 0 && at + 882 <= pcm.size(); at += 882)
      if (peak_of(pcm, at, 441) < 0.3 * 0.5 * 32767) quieter = now_ms() - turned;
    Sleep(1);
  }
  player->stop();
  std::printf("{\"first_audio_ms\":%.1f,\"seek_ms\":[%s],\"volume_ms\":%.0f}\n", first, times.c_str(), quieter);
  return 0;
}

// The longest run of quiet samples (under a tenth of the tones' half scale) between the first loud sample
// and the last, in ms at 44.1 kHz.
double longest_hush_ms(const std::string& mono) {
  std::size_t longest = 0, run = 0;
  bool started = false;
  for (std::size_t i = 0; i + 1 < mono.size(); i += 2) {
    const auto s = static_cast<std::int16_t>(static_cast<unsigned char>(mono[i]) | static_cast<unsigned char>(mono[i + 1]) << 8);
    if (std::abs(static_cast<int>(s)) > 1600) {
      if (started) longest = std::max(longest, run);
      run = 0;
      started = true;
    } else {
      ++run;
    }
  }
  return static_cast<double>(longest) * 1000.0 / 44100;
}

// The capture once it has not grown for a second (at most 20 s), its first channel.
std::string settled_capture(const wchar_t* capture) {
  long long last = -1;
  for (int still = 0, i = 0; still < 10 && i < 200; ++i, Sleep(100)) {
    const long long now = file_size(capture);
    still = now == last ? still + 1 : 0;
    last = now;
  }
  return first_channel(read_from(capture, 0), capture_channels(capture));
}

// What the player's decoding gives of a whole song (its encoder delay and padding trimmed).
std::string decoded(qiwa::Files& files, const wchar_t* mp3, qiwa::PcmFormat& format) {
  auto stream = qiwa::SongStream::open(qiwa::open_song_source(files, utf8_of(mp3)), qiwa::open_acm_codec);
  std::string pcm;
  if (!stream) return pcm;
  format = stream->pcm();
  unsigned char buffer[65536];
  for (;;) {
    const qiwa::Decoded d = stream->read(buffer, sizeof buffer);
    pcm.append(reinterpret_cast<const char*>(buffer), d.bytes);
    if (d.status != qiwa::FrameRead::frame) return pcm;  // a whole file never waits
  }
}

// The silence at the turn from A to B as the player plays them, and as a bare device plays the same
// samples joined in one buffer: the second is what the files hold.
int switch_gap(const wchar_t* a, const wchar_t* b, const wchar_t* capture) {
  KernelHandle drained(CreateEventW(nullptr, TRUE, FALSE, nullptr));  // outlives the player that sets it
  auto files = qiwa::make_win32_files();
  auto player = qiwa::make_waveout_player(*files);
  player->set_listener([&](const qiwa::PlayerEvent& e) {
    if (e.kind == qiwa::PlayerEvent::Kind::drained) SetEvent(drained.get());
  });
  player->prepare();
  DeleteFileW(capture);
  qiwa::Song first, second;
  first.path = utf8_of(a);
  first.id = 1;
  second.path = utf8_of(b);
  second.id = 2;
  if (!player->play(first)) return std::printf("{\"error\":\"not playable\"}\n"), 1;
  player->set_next(second);
  WaitForSingleObject(drained.get(), 20000);
  const double ours = longest_hush_ms(settled_capture(capture));
  player->stop();

  qiwa::PcmFormat format;
  std::string joined = decoded(*files, a, format);
  joined += decoded(*files, b, format);
  WAVEFORMATEX wave{WAVE_FORMAT_PCM, static_cast<WORD>(format.channels), static_cast<DWORD>(format.sample_rate),
                    static_cast<DWORD>(format.sample_rate * format.channels * 2), static_cast<WORD>(format.channels * 2), 16, 0};
  KernelHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HWAVEOUT opened = nullptr;
  DeleteFileW(capture);
  if (joined.empty() || waveOutOpen(&opened, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(done.get()), 0, CALLBACK_EVENT) !=
                            MMSYSERR_NOERROR)
    return std::printf("{\"error\":\"no device\"}\n"), 1;
  const WaveOut device(opened);
  WAVEHDR header{};
  header.lpData = joined.data();
  header.dwBufferLength = static_cast<DWORD>(joined.size());
  waveOutPrepareHeader(device.get(), &header, sizeof header);
  waveOutWrite(device.get(), &header, sizeof header);
  while (!(header.dwFlags & WHDR_DONE)) WaitForSingleObject(done.get(), 100);
  const double bare = longest_hush_ms(settled_capture(capture));
  waveOutUnprepareHeader(device.get(), &header, sizeof header);
  std::printf("{\"switch_gap_ms\":%.2f,\"joined_gap_ms\":%.2f}\n", ours, bare);
  return 0;
}

// A whole song's loudness as the program measures a kept song: read from its file, decoded by the system's
// codec, on a thread at background priority. Song seconds per CPU second of the process, and the figure.
int measure(const wchar_t* mp3) {
  auto files = qiwa::make_win32_files();
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
  const double cpu0 = cpu_ms(), wall0 = now_ms();
  const std::optional<qiwa::Loudness> l = qiwa::measure_song_file(*files, utf8_of(mp3), qiwa::open_acm_codec);
  const double cpu = cpu_ms() - cpu0, wall = now_ms() - wall0;
  SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
  qiwa::PcmFormat format;
  const double seconds = static_cast<double>(decoded(*files, mp3, format).size()) /
                         (format.block_align > 0 ? format.block_align * static_cast<double>(format.sample_rate) : 1);
  if (!l || !l->integrated_lufs) return std::printf("{\"error\":\"not measured\"}\n"), 1;
  std::printf("{\"lufs\":%.3f,\"song_s\":%.1f,\"cpu_ms\":%.0f,\"wall_ms\":%.0f,\"x_real_time\":%.1f}\n",
              *l->integrated_lufs, seconds, cpu, wall, seconds * 1000 / (cpu > 0 ? cpu : 1));
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  std::wstring what = argc > 1 ? argv[1] : L"";
  if (what == L"startup" && argc > 2) return startup(argv[2]);
  if (what == L"download" && argc > 2) return download(argv[2]);
  if (what == L"play" && argc > 3) return play(argv[2], argv[3]);
  if (what == L"play-cost" && argc > 2) return play_cost(argv[2], seconds_arg(argc, argv, 3));
  if (what == L"download-plain" && argc > 2) return download_plain(argv[2]);
  if (what == L"play-floor") return play_floor(seconds_arg(argc, argv, 2));
  if (what == L"desktop-lyrics") return desktop_lyrics();
  if (what == L"strip") return strip();
  if (what == L"seek" && argc > 3) return seek(argv[2], argv[3]);
  if (what == L"switch" && argc > 4) return switch_gap(argv[2], argv[3], argv[4]);
  if (what == L"measure" && argc > 2) return measure(argv[2]);
  std::fprintf(stderr, "usage: win32_bench startup EXE | download URL | download-plain URL | play FILE.mp3 CAPTURE"
                       " | play-cost FILE.mp3 [S] | play-floor [S] | desktop-lyrics | strip | seek STEPS.mp3 CAPTURE"
                       " | switch A.mp3 B.mp3 CAPTURE | measure FILE.mp3\n");
  return 2;
}
