#pragma once
// Cutting values out of answer texts between byte markers, and the name=value list operations.
#include <functional>

#include "runtime/types.hpp"

namespace qiwa {

// Every piece between a start and the next end marker; the next search begins right after the start
// marker, so a start marker inside a piece begins the next piece. Returns result.size().
// between_pieces runs after each piece: a caller on a window's thread passes its message pump there.
int extract_between(std::string_view source, std::string_view start_marker, std::string_view end_marker,
                    TextArray& result, bool ignore_case = false, int max_length = 0,
                    std::string_view prefix = {}, std::string_view suffix = {}, bool include_start = false,
                    bool include_end = false, int start_position = 0,
                    const std::function<void()>& between_pieces = {});
// The first piece; "#引号" in a marker stands for a double quote.
Text extract_first_between(std::string_view source, std::string_view start_marker,
                           std::string_view end_marker, int start_position = 0, bool ignore_case = false);

// The part before the first "=", trimmed; the whole item trimmed when it has none.
Text item_name(std::string_view item);
bool has_item_named(const TextArray& items, std::string_view name);
// The first occurrence of each distinct item, joined by the separator.
Text unique_items(std::string_view list, std::string_view separator, bool split_by_separator);
// Characters as pieces: a UTF-8 character and a CR LF pair are one piece each.
int split_characters(std::string_view text, TextArray& result);
// 1-based index of the first element equal to the text, or -1.
int index_in_list(const TextArray& items, std::string_view text);

}  // namespace qiwa
