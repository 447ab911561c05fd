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
// Made on the window's thread, where it runs posted work.
std::unique_ptr<Executor> make_win32_executor();

// The player's parts: the system's MP3 codec for a song's format (null when none takes it), and the
// sound device.
std::unique_ptr<Mp3Codec> open_acm_codec(const Mp3FrameHeader& format);
std::unique_ptr<SoundDevice> make_waveout_device();

// The platform of the running program, made on the window's thread, owning every backend.
class Win32Platform {
 public:
  Win32Platform();
  ~Win32Platform();
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;
  Platform platform();

 private:
  struct Backends;
  std::unique_ptr<Backends> backends_;
};

}  // namespace qiwa
