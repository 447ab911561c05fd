#pragma once
// The player under Wine, heard through the bench's captured audio: the ALSA configuration in
// $HOME/.asoundrc writes everything played into a file, which starts afresh at every opening of the
// sound device (once per play of a song, or per change of format). Shared by the player's Win32 tests.
#include <windows.h>
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "runtime/win32/backends.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa::player_test {

// A Unix path as Wine sees it.
inline std::wstring dos_path(const std::string& unix_path) {
  using Convert = WCHAR*(CDECL*)(const char*);
  auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (convert) {
    if (WCHAR* p = convert(unix_path.c_str())) {
      std::wstring result(p);
      HeapFree(GetProcessHeap(), 0, p);
      return result;
    }
  }
  std::wstring result = L"Z:";
  for (char c : unix_path) result += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return result;
}

inline Bytes read_all(const std::wstring& path, std::uint64_t from = 0) {
  Bytes data;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return data;
  LARGE_INTEGER size{}, offset{};
  offset.QuadPart = static_cast<LONGLONG>(from);
  if (GetFileSizeEx(f, &size) && size.QuadPart > offset.QuadPart && SetFilePointerEx(f, offset, nullptr, FILE_BEGIN)) {
    data.resize(static_cast<std::size_t>(size.QuadPart - offset.QuadPart));
    DWORD n = 0;
    if (!ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &n, nullptr)) n = 0;
    data.resize(n);
  }
  CloseHandle(f);
  return data;
}

inline Bytes data_file(const char* name) { return read_all(dos_path(std::string(QIWA_SOURCE_DIR "/tests/data/") + name)); }

// What Debian's lame decodes of a test song (16-bit PCM, no header), made by the build.
inline Bytes lame_decoded(const char* name) {
  return read_all(dos_path(std::string(QIWA_BINARY_DIR "/lame-decoded/") + name + ".raw"));
}

inline Bytes text_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes noise(std::size_t size, std::uint32_t seed) {
  Bytes b(size);
  for (auto& x : b) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<unsigned char>(seed >> 24);
  }
  return b;
}

inline std::vector<std::int16_t> samples_of(const Bytes& pcm) {
  std::vector<std::int16_t> out(pcm.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
  return out;
}

// Root mean square of 16-bit samples, as a fraction of full scale.
inline double rms(const Bytes& pcm) {
  double sum = 0;
  const std::vector<std::int16_t> s = samples_of(pcm);
  for (std::int16_t x : s) sum += (x / 32768.0) * (x / 32768.0);
  return s.empty() ? 0 : std::sqrt(sum / static_cast<double>(s.size()));
}

// The file the bench's ALSA configuration captures into; empty when not run in the bench. Wine hands
// the Unix $HOME over as WINEHOMEDIR, in its own path form.
// The bench's ALSA configuration, as the Wine home holds it; empty outside the bench.
inline std::string bench_asoundrc() {
  wchar_t home[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"WINEHOMEDIR", home, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::wstring dir(home, n);
  if (dir.rfind(L"\\??\\", 0) == 0) dir.erase(0, 4);
  Bytes rc = read_all(dir + L"\\.asoundrc");
  return std::string(rc.begin(), rc.end());
}

inline std::wstring capture_file() {
  std::string text = bench_asoundrc();
  std::size_t key = text.find("file \"");
  if (key == std::string::npos) return {};
  std::size_t end = text.find('"', key + 6);
  if (end == std::string::npos) return {};
  return dos_path(text.substr(key + 6, end - key - 6));
}

// The player's events as they come, for a test to wait on.
class EventLog {
 public:
  std::function<void(const PlayerEvent&)> listener() {
    return [this](const PlayerEvent& e) {
      std::lock_guard lock(mutex_);
      events_.push_back(e);
      changed_.notify_all();
    };
  }
  // True once an event of the kind (and id, when given) has come; waits up to 20 s.
  bool wait_for(PlayerEvent::Kind kind, std::optional<std::uint64_t> id = std::nullopt) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
      for (const PlayerEvent& e : events_)
        if (e.kind == kind && (!id || e.id == *id)) return true;
      return false;
    });
  }
  std::vector<PlayerEvent> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PlayerEvent> events_;
};

// The player in a fresh directory with a Chinese name.
class PlayerWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    dir_ = narrow(temp) + "播放测试" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(wide(dir_).c_str(), nullptr);
    files_ = make_win32_files();
    player_ = make_waveout_player(*files_);
    player_->set_listener(log_.listener());
    capture_ = capture_file();
  }
  void TearDown() override {
    player_.reset();
    for (const Text& path : written_) DeleteFileW(wide(path).c_str());
    RemoveDirectoryW(wide(dir_).c_str());
  }

  Text put(const char* name, const Bytes& data) {
    Text path = dir_ + "\\" + name;
    HANDLE f = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    if (!data.empty()) WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    CloseHandle(f);
    written_.push_back(path);
    return path;
  }
  static Song song(const Text& path, std::uint64_t id) {
    Song s;
    s.path = path;
    s.id = id;
    return s;
  }

  bool capturing() const { return !capture_.empty(); }
  // The bench's clocked device captures in one format of its own.
  bool device_converts() const { return bench_asoundrc().find("qiwa_clock") != std::string::npos; }
  // Forgets what earlier songs left in the capture file.
  void fresh_capture() const { DeleteFileW(capture_.c_str()); }
  std::uint64_t captured() const {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(capture_.c_str(), GetFileExInfoStandard, &a)) return 0;
    return static_cast<std::uint64_t>(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
  }
  Bytes capture(std::uint64_t from = 0) const { return read_all(capture_, from); }
  // True once the capture holds `bytes` (waits up to 20 s).
  bool reaches(std::uint64_t bytes) const {
    for (int i = 0; i < 200; ++i) {
      if (captured() >= bytes) return true;
      Sleep(100);
    }
    return false;
  }
  // The capture's size once it has not grown for 2 s; nothing when it keeps growing for 30 s.
  std::optional<std::uint64_t> quiet() const {
    std::uint64_t last = captured();
    for (int i = 0, still = 0; i < 300; ++i) {
      Sleep(100);
      std::uint64_t now = captured();
      still = now == last ? still + 1 : 0;
      last = now;
      if (still >= 20) return now;
    }
    return std::nullopt;
  }
  // True once the player's position passes `ms` (waits up to 20 s).
  bool position_passes(std::int64_t ms) {
    for (int i = 0; i < 400; ++i) {
      if (player_->position().ms > ms) return true;
      Sleep(50);
    }
    return false;
  }
  // What was captured from `from` on is sound, not silence.
  bool sound_from(std::uint64_t from) const { return rms(capture(from)) > 0.05; }
  // Bytes of the capture that are sound (in 10 ms steps of 44.1 kHz stereo), gaps of silence left out.
  std::uint64_t sound_bytes() const {
    const Bytes all = capture();
    constexpr std::size_t kStep = 441 * 4;
    std::uint64_t sound = 0;
    for (std::size_t at = 0; at + kStep <= all.size(); at += kStep)
      if (rms(Bytes(all.begin() + static_cast<std::ptrdiff_t>(at), all.begin() + static_cast<std::ptrdiff_t>(at + kStep))) > 0.05)
        sound += kStep;
    return sound;
  }

  Text dir_;
  std::unique_ptr<Files> files_;
  std::unique_ptr<Player> player_;
  EventLog log_;
  std::wstring capture_;
  std::vector<Text> written_;
};

#define REQUIRE_CAPTURE() \
  if (!capturing()) GTEST_SKIP() << "no captured audio: not run in the Wine bench"

// The checks that count the capture's bytes or compare its samples with a song's own need a device
// that captures in the song's format; the bench's clocked device captures its own 44.1 kHz stereo.
#define REQUIRE_CAPTURE_IN_SONG_FORMAT()                                                       \
  REQUIRE_CAPTURE();                                                                           \
  if (device_converts()) GTEST_SKIP() << "the bench's device captures 44.1 kHz stereo, not the song's format"

}  // namespace qiwa::player_test
