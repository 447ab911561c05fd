#pragma once
// The skin library's DLL image and its skin data, embedded in the program by the build.
#include <span>

namespace qiwa {

std::span<const unsigned char> skin_library_image();
std::span<const unsigned char> skin_data();

}  // namespace qiwa
