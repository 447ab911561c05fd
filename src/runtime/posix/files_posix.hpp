#pragma once
// Host-build extras of the file service.
#include "runtime/types.hpp"

namespace qiwa {

// The host has no Windows system directory: tests choose what system_directory() returns.
void set_system_directory(std::string_view directory);
// The path as the host names it: "\" turned into "/".
std::string host_path(std::string_view path);

}  // namespace qiwa
