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
// The n-th name for a title's song, the way Windows numbers copies: the first is song_file_path's,
// then "晴天 (2).mp3", "晴天 (3).mp3", ...; the number always fits within kMaxFileNameBytes.
Text song_file_path(std::string_view directory, std::string_view title, unsigned n);

inline constexpr std::size_t kMaxFileNameBytes = 180;

}  // namespace qiwa
