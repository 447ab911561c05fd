#pragma once
// The song search: one page of hits from the service into the result list.
#include <vector>

#include "app/context.hpp"

namespace qiwa {

// One hit as a row of 超级列表框1: columns 0 to 5.
struct SongRow {
  Text url_id, pic_id, lyric_id, title, singer, album;
  bool operator==(const SongRow&) const = default;
};

// What a search click captured on the window's thread.
struct SearchRequest {
  unsigned generation = 0;  // the search_generation it belongs to
  int page = 1;
  int source_index = -1;    // 组合框1's selection
  Text words;
};

// "netease", "kugou", "tencent" for items 0, 1, 2; empty for any other index.
Text source_for_index(int index);

// The raw answer (escapes kept) to one search form.
Text fetch_search_page(std::string_view host, std::string_view source, std::string_view words, int page);

// One row per hit of the answer's array, each cut from its own hit. Ids are bare numbers for
// source index 0, quoted for 1 and 2, and left empty for any other index.
std::vector<SongRow> parse_search_hits(std::string_view answer, int source_index);

// Sets current_source, asks for the page and appends its rows as one block, unless a newer
// search has started meanwhile.
void search_songs(AppContext& app, const SearchRequest& request);

}  // namespace qiwa
