#pragma once
// The one seam between the program and the system it runs on: every service the core uses from the
// platform, handed in at start-up. The Win32 backends fill it in the program; doubles fill it in tests.
#include "runtime/clock.hpp"
#include "runtime/download.hpp"
#include "runtime/executor.hpp"
#include "runtime/files.hpp"
#include "runtime/mp3_codec.hpp"
#include "runtime/native_library.hpp"
#include "runtime/player.hpp"
#include "runtime/request.hpp"

namespace qiwa {

struct Platform {
  Files& files;
  RequestFactory requests;
  Downloader& downloader;
  Player& player;
  NativeLibraries& libraries;
  Clock& clock;
  Executor& executor;
  Mp3Codecs codecs;  // decoders outside the player's own
};

}  // namespace qiwa
