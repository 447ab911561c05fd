#include "text/extract.hpp"

#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The first match at or after `boundary`, a character start of `source`. Searching the rest of the text
// from there keeps a long scan linear instead of re-walking the text from its first byte for every piece.
std::size_t find_after(std::string_view source, std::string_view sought, std::size_t boundary,
                       bool ignore_case) {
  if (boundary >= source.size()) return npos;
  int at = find(source.substr(boundary), sought, 1, ignore_case);
  return at < 0 ? npos : boundary + static_cast<std::size_t>(at - 1);
}

// The first character start at or after `target`, walking from the character start `from`.
std::size_t next_boundary(std::string_view s, std::size_t from, std::size_t target) {
  while (from < target && from < s.size()) from += char_size(s, from);
  return from;
}

}  // namespace

int extract_between(std::string_view source, std::string_view start_marker, std::string_view end_marker,
                    TextArray& result, bool ignore_case, int max_length, std::string_view prefix,
                    std::string_view suffix, bool include_start, bool include_end, int start_position,
                    const std::function<void()>& between_pieces) {
  result.clear();
  // An empty start marker would be found again at the same place for ever.
  if (start_marker.empty()) return 0;
  std::size_t from =
      next_boundary(source, 0, start_position <= 1 ? 0 : static_cast<std::size_t>(start_position - 1));
  for (;;) {
    std::size_t start = find_after(source, start_marker, from, ignore_case);
    if (start == npos) break;
    std::size_t position = start + start_marker.size();
    from = next_boundary(source, start, position);
    std::size_t end = end_marker.empty() ? (from < source.size() ? from : npos)
                                         : find_after(source, end_marker, from, false);
    if (end == npos) break;
    Text piece =
        Text(prefix) + Text(source.substr(position, end > position ? end - position : 0)) + Text(suffix);
    if (include_start) piece = Text(start_marker) + piece;
    if (include_end) piece += end_marker;
    if (max_length <= 0 || piece.size() < static_cast<std::size_t>(max_length))
      result.push_back(std::move(piece));
    if (between_pieces) between_pieces();
  }
  return static_cast<int>(result.size());
}

Text extract_first_between(std::string_view source, std::string_view start_marker,
                           std::string_view end_marker, int start_position, bool ignore_case) {
  const Text start = replace(start_marker, "#引号", "\"", true);
  const Text end = replace(end_marker, "#引号", "\"", true);
  int found = find(source, start, start_position <= 0 ? 1 : start_position, ignore_case);
  if (found < 0) return {};
  int position = found + length(start);
  int stop = find(source, end, position);
  if (stop < 0) return {};
  return middle(source, position, stop - position);
}

Text item_name(std::string_view item) {
  int p = find(item, "=");
  return trim(p > 0 ? left(item, p - 1) : Text(item));
}

bool has_item_named(const TextArray& items, std::string_view name) {
  for (const Text& item : items)
    if (item_name(item) == name) return true;
  return false;
}

Text unique_items(std::string_view list, std::string_view separator, bool split_by_separator) {
  TextArray pieces;
  if (split_by_separator)
    pieces = split(list, separator);
  else
    split_characters(list, pieces);
  TextArray taken;
  Text out;
  for (const Text& piece : pieces) {
    if (index_in_list(taken, piece) != -1) continue;
    taken.push_back(piece);
    out += piece;
    out += separator;
  }
  return left(out, length(out) - length(separator));
}

int split_characters(std::string_view text, TextArray& result) {
  result.clear();
  for (std::size_t i = 0; i < text.size();) {
    std::size_t step = text.substr(i, 2) == "\r\n" ? 2 : char_size(text, i);
    result.emplace_back(text.substr(i, step));
    i += step;
  }
  return static_cast<int>(result.size());
}

int index_in_list(const TextArray& items, std::string_view text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == text) return static_cast<int>(i + 1);
  return -1;
}

}  // namespace qiwa
