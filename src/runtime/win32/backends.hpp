#pragma once
// The Win32 backends of the platform services: one by one for their tests, all together for the program.
#include <functional>
#include <memory>

#include "runtime/mp3_codec.hpp"
#include "runtime/platform.hpp"
#include "runtime/song_source.hpp"
#include "runtime/sound_device.hpp"

namespace qiwa {

std::shared_ptr<RequestObject> make_winhttp_request();
std::unique_ptr<Downloader> make_winhttp_downloader();
std::unique_ptr<Player> make_waveout_player(Files& files);
std::unique_ptr<Files> make_win32_files();
std::unique_ptr<NativeLibraries> make_win32_libraries();

// The player's parts: the system's MP3 codec for a song's format (null when none takes it), and the
// sound device.
std::unique_ptr<Mp3Codec> open_acm_codec(const Mp3FrameHeader& format);
std::unique_ptr<SoundDevice> make_waveout_device();

// The platform of the running program. Made once and never destroyed: detached workers may use it
// until the process ends.
const Platform& win32_platform();

}  // namespace qiwa
