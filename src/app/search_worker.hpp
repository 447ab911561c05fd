#pragma once
// The search thread: one page of hits from the service into the result list.
#include <stop_token>

#include "app/context.hpp"

namespace qiwa {

// What a search click captured on the window's thread.
struct SearchRequest {
  std::stop_token stop;   // raised when a newer search clears the list, or the window closes
  int page = 1;
  int source_index = -1;  // 组合框1's selection
  Text words;
};

// Sets current_source, asks for the page and appends its rows (and their catalogues to row_sources) as one
// block, unless the search was superseded meanwhile.
void run_search(AppContext& app, const SearchRequest& request);

}  // namespace qiwa
