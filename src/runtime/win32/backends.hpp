#pragma once
// The Win32 backends of the platform services: one by one for their tests, all together for the program.
#include <functional>
#include <memory>

#include "runtime/mp3_codec.hpp"
#include "runtime/platform.hpp"
#include "runtime/song_source.hpp"

namespace qiwa {

std::shared_ptr<RequestObject> make_winhttp_request();
std::unique_ptr<Downloader> make_winhttp_downloader();
std::unique_ptr<Player> make_waveout_player();
std::unique_ptr<Files> make_win32_files();
std::unique_ptr<NativeLibraries> make_win32_libraries();
// Made on the window's thread, where it runs posted work.
std::unique_ptr<Executor> make_win32_executor();

// The player's parts: a song file read as it plays (`state` tells whether it is still growing; none:
// it is whole), and the system's MP3 codec for a song's format. Null when they cannot be opened.
std::unique_ptr<SongSource> open_song_file(std::string_view path, std::function<SourceState()> state = {});
std::unique_ptr<Mp3Codec> open_acm_codec(const Mp3FrameHeader& format);

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
