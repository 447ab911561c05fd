#pragma once
// Searching: a page of hits from the service into the results, on a worker, handed back to the window's
// thread as one block.
#include "app/context.hpp"

namespace qiwa {

// Clears the results and asks for the first page of the words and catalogue the window shows now.
void start_search(AppContext& app);
// Asks for the next page of the search the results belong to; its rows join them.
void load_more(AppContext& app);

}  // namespace qiwa
