#pragma once
// The library's file, a text a person can read: a version line, one entry a line of tab-separated,
// escaped fields, and an end line that counts them, so that a file cut anywhere is known to be cut.
#include "music/library_data.hpp"
#include "runtime/store.hpp"

namespace qiwa {

inline constexpr int kLibraryFormat = 1;
inline constexpr std::size_t kMaxSearchRows = 1000;

struct LibraryFileRead {
  LibraryData data;  // every list normalized
  StoreRead state;
};

// Reads what it can of any bytes: a damaged line is skipped and the file counted damaged; lines of a
// kind a newer version added are kept; never loops, never reads past the bytes.
LibraryFileRead read_library_file(std::string_view bytes);
// The lists newest first, the lines a newer version added after them.
Text write_library_file(const LibraryData& data);

}  // namespace qiwa
