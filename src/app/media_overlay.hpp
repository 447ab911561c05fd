#pragma once
// The system's media overlay (where Windows offers it: the controls beside the volume flyout and on the
// lock screen): the song playing with its cover, whether it plays, and the overlay's own play, pause,
// previous and next buttons. Called on the window's thread only.
#include <functional>
#include <string_view>

#include "runtime/types.hpp"

namespace qiwa {

enum class MediaButton { play, pause, previous, next };
// What a press of the overlay's buttons does; called on the window's thread.
using MediaButtons = std::function<void(MediaButton)>;

class MediaOverlay {
 public:
  virtual ~MediaOverlay() = default;
  // The song: its title, singer and cover image file bytes (empty: no picture). The system's part is
  // loaded at the first call; where the system has none, this and every other call do nothing.
  virtual void show(std::string_view title, std::string_view singer, const Bytes& cover) = 0;
  virtual void set_playing(bool playing) = 0;
  // Between songs: the overlay shows nothing.
  virtual void clear() = 0;
};

}  // namespace qiwa
