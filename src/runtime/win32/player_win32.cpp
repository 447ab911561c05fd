// The player on Windows: the portable player (runtime/song_player.cpp) over the waveOut device and the
// system's MP3 codec.
#include <windows.h>
#include <mmsystem.h>

#include "runtime/song_player.hpp"
#include "runtime/win32/backends.hpp"

namespace qiwa {
namespace {

// The audio driver, and the MP3 codec for a typical song (128 kbit/s stereo at 44.1 kHz).
void prepare_sound() {
  waveOutGetNumDevs();
  Mp3FrameHeader typical;
  typical.bit_rate = 128000;
  typical.sample_rate = 44100;
  typical.channels = 2;
  typical.samples = 1152;
  typical.length = 417;
  open_acm_codec(typical);
}

}  // namespace

std::unique_ptr<Player> make_waveout_player(Files& files) {
  return make_song_player({files, make_waveout_device(), open_acm_codec, prepare_sound});
}

}  // namespace qiwa
