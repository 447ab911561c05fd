#pragma once
// The Win32 backends of the platform services: one by one for their tests, all together for the program.
#include <memory>

#include "runtime/platform.hpp"

namespace qiwa {

std::shared_ptr<RequestObject> make_winhttp_request();
std::unique_ptr<Downloader> make_winhttp_downloader();
std::unique_ptr<Player> make_waveout_player();
std::unique_ptr<Files> make_win32_files();
std::unique_ptr<NativeLibraries> make_win32_libraries();

// The platform of the running program. Made once and never destroyed: detached workers may use it
// until the process ends.
const Platform& win32_platform();

}  // namespace qiwa
