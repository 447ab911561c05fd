#pragma once
// File-name wildcard matching the way Windows searches match a name: "*" any run, "?" one character.
#include "runtime/types.hpp"

namespace qiwa {

// Matches a GBK name against a GBK pattern; "?" takes a whole double-byte character, ASCII letters fold,
// "*.*" matches every name.
bool wildcard_match(std::string_view pattern, std::string_view name);
bool has_wildcard(std::string_view text);

}  // namespace qiwa
