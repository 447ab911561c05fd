// Temporary stand-ins so the program links before the player lands;
// each goes as soon as its real definition is in the build.
#include <array>

#include "runtime/win32/backends.hpp"

namespace qiwa {
namespace {

class SilentPlayer final : public Player {
 public:
  bool play(std::string_view, int) override { return false; }
  void pause() override {}
  void resume() override {}
  void stop() override {}
};

}  // namespace

std::unique_ptr<Player> make_waveout_player() { return std::make_unique<SilentPlayer>(); }

}  // namespace qiwa
