#pragma once
// The program's own text files: lines of tab-separated fields, each escaped so that no value (tabs,
// line breaks, backslashes, control characters, bytes that are no UTF-8) can break its line, and the
// file stays UTF-8 a person can read. Escapes: \\ \t \n \r, and \xHH for any other control byte, DEL
// and a byte that is no UTF-8.
#include <optional>

#include "runtime/types.hpp"

namespace qiwa {

void append_escaped(Text& out, std::string_view value);
Text escaped(std::string_view value);
// Appends the value of an escaped field; false (out as far as it got) when an escape is malformed or
// the field holds a raw tab or control byte.
bool append_unescaped(Text& out, std::string_view field);
std::optional<Text> unescaped(std::string_view field);

// Reads a text line by line: LF or CRLF ends a line; a UTF-8 byte order mark at the start is skipped.
class LineReader {
 public:
  explicit LineReader(std::string_view text);
  // The next line without its ending; false at the end. `ended` tells whether a line break closed it
  // (a file cut short ends in a line without one).
  bool next(std::string_view& line, bool& ended);

 private:
  std::string_view rest_;
};

// Cuts a line at its tabs; fields past `max` stay joined in the last one.
std::vector<std::string_view> split_fields(std::string_view line, std::size_t max);

}  // namespace qiwa
