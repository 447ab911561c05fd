#include "music/search.hpp"

#include <optional>
#include <string>

#include "music/json_scan.hpp"
#include "music/service.hpp"
#include "text/unescape.hpp"

namespace qiwa {
namespace {

bool escaped_at(std::string_view s, std::size_t i) {
  std::size_t n = 0;
  while (i > n && s[i - n - 1] == '\\') ++n;
  return n % 2 == 1;
}

// Position of `end` at or after `from` whose first byte is not escaped by a backslash.
std::size_t find_unescaped(std::string_view s, std::string_view end, std::size_t from) {
  for (std::size_t i = s.find(end, from); i != std::string_view::npos; i = s.find(end, i + 1))
    if (!escaped_at(s, i)) return i;
  return std::string_view::npos;
}

// The raw text between the start marker and the end marker that follows it, inside one hit.
std::optional<std::string_view> cut(std::string_view hit, std::string_view start, std::string_view end) {
  std::size_t at = hit.find(start);
  if (at == std::string_view::npos) return std::nullopt;
  at += start.size();
  std::size_t stop = find_unescaped(hit, end, at);
  if (stop == std::string_view::npos) return std::nullopt;
  return hit.substr(at, stop - at);
}

Text cut_value(std::string_view hit, std::string_view start, std::string_view end) {
  auto raw = cut(hit, start, end);
  return raw ? unescape_text(*raw) : Text();
}


// Every name of the artist list, joined by "/"; an empty list gives the empty text.
Text cut_artists(std::string_view hit) {
  auto raw = cut(hit, "artist\":[\"", "\"],\"");
  if (!raw) raw = cut(hit, "artist\":[\"", "\"]");
  if (!raw) return {};
  Text joined;
  joined.reserve(raw->size());  // decoding only shrinks: one allocation for the whole list
  std::string_view rest = *raw;
  for (bool first = true;; first = false) {
    std::size_t sep = find_unescaped(rest, "\",\"", 0);
    if (!first) joined += '/';
    joined += unescape_text(rest.substr(0, sep));
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 3);
  }
  return joined;
}

bool carries_a_song(std::string_view hit) {
  for (std::string_view key : {"\"name\":", "\"artist\":", "\"url_id\":", "\"album\":"})
    if (hit.find(key) != std::string_view::npos) return true;
  return false;
}

SongRow parse_hit(std::string_view hit, const Catalogue* catalogue) {
  SongRow row;
  row.title = cut_value(hit, "name\":\"", "\",\"");
  row.singer = cut_artists(hit);
  row.album = cut_value(hit, "album\":\"", "\",\"");
  // The ids as their own characters, whether written as numbers or strings; null gives nothing.
  // An unselected source: no id is read as its song ids.
  static constexpr std::string_view kIds[] = {"pic_id", "url_id", "lyric_id"};
  std::string_view ids[3];
  json_scalars_after_keys(hit, std::span(kIds, catalogue ? 3 : 1), ids);
  row.pic_id = unescape_text(ids[0]);
  row.url_id = unescape_text(ids[1]);
  row.lyric_id = unescape_text(ids[2]);
  return row;
}

}  // namespace

Text fetch_search_page(const ServiceClient& service, std::string_view source, std::string_view words, int page) {
  FormFields form = {{"types", "search"}, {"count", "20"}, {"source", Text(source)},
                     {"pages", std::to_string(page)}, {"name", Text(words)}};
  return query_service_raw(service, kSearchCallback, form_body(form));
}

std::vector<SongRow> parse_search_hits(std::string_view answer, const Catalogue* catalogue) {
  const std::vector<std::string_view> hits = json_array_objects(answer);
  std::vector<SongRow> rows;
  rows.reserve(hits.size());
  for (std::string_view hit : hits)
    if (carries_a_song(hit)) rows.push_back(parse_hit(hit, catalogue));
  return rows;
}

std::vector<SongRow> search_page(const ServiceClient& service, const SearchQuery& query) {
  std::vector<SongRow> rows =
      parse_search_hits(fetch_search_page(service, query.source, query.words, query.page), query.catalogue);
  for (SongRow& row : rows) row.source = query.source;  // each row plays from the catalogue it came from
  return rows;
}

}  // namespace qiwa
