#include <windows.h>

#include "runtime/win32/backends.hpp"

namespace qiwa {
namespace {

class TickClock final : public Clock {
 public:
  std::int64_t now_ms() override { return static_cast<std::int64_t>(GetTickCount64()); }
};

}  // namespace

const Platform& win32_platform() {
  static Files& files = *make_win32_files().release();
  static const Platform* platform = new Platform{files,
                                                 make_winhttp_request,
                                                 *make_winhttp_downloader().release(),
                                                 *make_waveout_player(files).release(),
                                                 *make_win32_libraries().release(),
                                                 *new TickClock};
  return *platform;
}

}  // namespace qiwa
