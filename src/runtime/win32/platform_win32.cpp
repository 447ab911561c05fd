#include <windows.h>

#include "runtime/win32/backends.hpp"
#include "runtime/win32/file_time.hpp"

namespace qiwa {
namespace {

class TickClock final : public Clock {
 public:
  std::int64_t now_ms() override { return static_cast<std::int64_t>(GetTickCount64()); }
  std::int64_t wall_ms() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return unix_ms(now);
  }
  std::int64_t local_wall_ms() override {
    FILETIME now, local;
    GetSystemTimeAsFileTime(&now);
    return FileTimeToLocalFileTime(&now, &local) ? unix_ms(local) : unix_ms(now);
  }
};

}  // namespace

// Destroyed in reverse: the executor first (its workers use the rest), the files last.
struct Win32Platform::Backends {
  std::unique_ptr<Files> files = make_win32_files();
  std::unique_ptr<NativeLibraries> libraries = make_win32_libraries();
  TickClock clock;
  std::unique_ptr<Downloader> downloader = make_winhttp_downloader();
  std::unique_ptr<Player> player = make_waveout_player(*files);
  std::unique_ptr<Executor> executor = make_win32_executor();
};

Win32Platform::Win32Platform() : backends_(std::make_unique<Backends>()) {}

Win32Platform::~Win32Platform() = default;

Platform Win32Platform::platform() {
  Backends& b = *backends_;
  return {*b.files, make_winhttp_request, *b.downloader, *b.player, *b.libraries, b.clock, *b.executor, open_acm_codec};
}

}  // namespace qiwa
