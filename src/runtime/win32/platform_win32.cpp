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

const Platform& win32_platform() {
  static const Platform* platform = new Platform{*make_win32_files().release(),
                                                 make_winhttp_request,
                                                 *make_winhttp_downloader().release(),
                                                 *make_waveout_player().release(),
                                                 *make_win32_libraries().release(),
                                                 *new TickClock};
  return *platform;
}

}  // namespace qiwa
