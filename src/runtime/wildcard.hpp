#pragma once
// File-name wildcard matching the way Windows searches match a name: "*" any run, "?" one character.
#include "runtime/types.hpp"

namespace qiwa {

// Matches a name against a pattern; "?" takes a whole character, ASCII letters fold,
// "*.*" matches every name.
bool wildcard_match(std::string_view pattern, std::string_view name);
bool has_wildcard(std::string_view text);

}  // namespace qiwa
