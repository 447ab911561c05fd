// Temporary stand-ins so the program links before the player and the embedded skin land;
// each goes as soon as its real definition is in the build.
#include <array>

#include "app/skin_blobs.hpp"
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

std::span<const unsigned char> skin_library_image() { return {}; }
std::span<const unsigned char> skin_data() { return {}; }

}  // namespace qiwa
