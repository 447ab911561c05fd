#pragma once
// The program's temporary files are named "<target's name>.<process>-<n><suffix>" beside their target
// (a part file, a retag's new file, a store's new bytes, a file set aside while it is replaced). A process
// killed while it wrote one leaves it behind; a later start removes it, and nothing else.
#include <optional>
#include <string_view>

#include "runtime/files.hpp"

namespace qiwa {

struct TemporaryName {
  std::string_view target;  // the name of the file it was made for
  unsigned process = 0;     // the process that made it
};

// What a name of that form tells, when `name` has exactly that form and ends with `suffix`.
std::optional<TemporaryName> read_temporary_name(std::string_view name, std::string_view suffix);

// True when the process that made a temporary can no longer be writing it: neither this process (whose
// own files are in use) nor one that still runs (another copy of the program beside this one).
bool abandoned(Files& files, const TemporaryName& temporary);

}  // namespace qiwa
