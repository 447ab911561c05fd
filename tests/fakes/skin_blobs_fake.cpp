// Small stand-ins for the embedded skin library image and skin data.
#include "skin/skin_blobs.hpp"

namespace qiwa {
namespace {
constexpr unsigned char kImage[] = {'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 'f', 'a', 'k', 'e'};
constexpr unsigned char kSkin[] = {'.', 'S', 'H', 'E', 0x01, 0x00, 0x00, 0x00, 0x2a};
}  // namespace

std::span<const unsigned char> skin_library_image() { return kImage; }
std::span<const unsigned char> skin_data() { return kSkin; }

}  // namespace qiwa
