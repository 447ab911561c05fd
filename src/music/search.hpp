#pragma once
// The song search: one page of hits from the service as rows of the result list.
#include <vector>

#include "music/catalogue.hpp"
#include "music/service.hpp"
#include "music/song.hpp"

namespace qiwa {

struct SearchQuery {
  Text source;                            // the form's "source"
  const Catalogue* catalogue = nullptr;   // none (no source chosen): the url and lyric ids stay empty
  Text words;
  int page = 1;
};

// The raw answer (escapes kept) to one search form.
Text fetch_search_page(const ServiceClient& service, std::string_view source, std::string_view words, int page);

// One row per hit of the answer's array, each cut from its own hit.
std::vector<SongRow> parse_search_hits(std::string_view answer, const Catalogue* catalogue);

// Asks for the page and reads its rows, each marked with the query's source; none when the request failed
// or the answer holds no hit.
std::vector<SongRow> search_page(const ServiceClient& service, const SearchQuery& query);

}  // namespace qiwa
