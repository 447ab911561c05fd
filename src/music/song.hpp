#pragma once
// A search hit as one row of the result list.
#include <array>

#include "runtime/types.hpp"

namespace qiwa {

// The row's cells, in the list's column order; the three ids lie out of sight.
enum class Cell { url_id, pic_id, lyric_id, title, singer, album };
inline constexpr std::size_t kCellCount = 6;

struct SongRow {
  Text url_id, pic_id, lyric_id, title, singer, album;
  Text source = {};  // the catalogue the row came from, as the service names it; no cell of its own
  Text path = {};    // a local song's file (a row of the songs on disk); no cell of its own

  const Text& cell(Cell c) const { return *cells()[static_cast<std::size_t>(c)]; }
  bool operator==(const SongRow&) const = default;

 private:
  std::array<const Text*, kCellCount> cells() const { return {&url_id, &pic_id, &lyric_id, &title, &singer, &album}; }
};

}  // namespace qiwa
