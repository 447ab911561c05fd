#pragma once
// Constructors of the Win32 backends, for the entry point and the backend tests.
#include <memory>

#include "runtime/download.hpp"
#include "runtime/player.hpp"
#include "runtime/request.hpp"

namespace qiwa {

std::shared_ptr<RequestObject> make_winhttp_request();
std::unique_ptr<Downloader> make_winhttp_downloader();
std::unique_ptr<Player> make_waveout_player();

}  // namespace qiwa
