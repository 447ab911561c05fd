#pragma once
// Song titles as file names that always stay inside the run directory.
#include "runtime/types.hpp"

namespace qiwa {

// The title with the characters Windows forbids (and bytes that are no UTF-8) replaced by "_", outer
// spaces and trailing dots removed, a device name (CON, COM1, ...) prefixed with "_"; never empty. A name
// longer than kMaxFileNameBytes is cut between characters and ends in "~" and a hash of the whole title.
Text safe_file_name(std::string_view title);
// directory + "\" + safe_file_name(title) + ".mp3"
Text song_file_path(std::string_view directory, std::string_view title);

inline constexpr std::size_t kMaxFileNameBytes = 180;

}  // namespace qiwa
