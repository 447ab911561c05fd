// The library file's reader over any bytes: it never crashes or loops, and what it read writes back
// as a sound file that reads as the same library.
#include <cstdlib>

#include "music/library_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qiwa::LibraryFileRead read =
      qiwa::read_library_file(std::string_view(reinterpret_cast<const char*>(data), size));
  const qiwa::Text written = qiwa::write_library_file(read.data);
  const qiwa::LibraryFileRead again = qiwa::read_library_file(written);
  if (again.state.damaged) std::abort();
  if (again.state.newer) std::abort();
  if (qiwa::write_library_file(again.data) != written) std::abort();
  for (std::size_t i = 0; i < qiwa::kLibraryLists; ++i)
    if (again.data.lists[i].size() != read.data.lists[i].size()) std::abort();
  return 0;
}
