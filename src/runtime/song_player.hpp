#pragma once
// The player over any sound device and codec: a thread of its own while a song is loaded (none
// otherwise), running the engine (runtime/playback.hpp), which callers reach through requests and a
// wake-up, and whose timeline they read for the position.
#include <functional>
#include <memory>

#include "runtime/files.hpp"
#include "runtime/player.hpp"
#include "runtime/song_stream.hpp"
#include "runtime/sound_device.hpp"

namespace qiwa {

struct PlayerParts {
  Files& files;  // songs are opened through it
  std::unique_ptr<SoundDevice> device;
  CodecFactory codecs;
  std::function<void()> prepare;  // loads the sound system and the codec ahead of the first song
};

std::unique_ptr<Player> make_song_player(PlayerParts parts);

}  // namespace qiwa
