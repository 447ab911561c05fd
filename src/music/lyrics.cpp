#include "music/lyrics.hpp"

#include "music/json_scan.hpp"
#include "text/references.hpp"

namespace qiwa {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of a time tag "[mm:ss]", "[mm:ss.xx]" or "[mm:ss:xx]" at the start of s, else 0.
std::size_t time_tag_length(std::string_view s) {
  if (s.size() < 2 || s[0] != '[') return 0;
  std::size_t i = 1;
  bool digits = false, colon = false;
  for (; i < s.size() && s[i] != ']'; ++i) {
    if (is_digit(s[i])) digits = true;
    else if (s[i] == ':') colon = true;
    else if (s[i] != '.') return 0;
  }
  return (i < s.size() && digits && colon) ? i + 1 : 0;
}

// "[ti:...]" and the like: a tag of letters and a colon.
bool is_metadata_line(std::string_view s) {
  if (s.empty() || s[0] != '[') return false;
  std::size_t i = 1;
  while (i < s.size() && is_letter(s[i])) ++i;
  return i > 1 && i < s.size() && s[i] == ':' && s.find(']') != std::string_view::npos;
}

void add_line(std::string_view line, Text& out) {
  if (is_metadata_line(line)) return;
  while (std::size_t n = time_tag_length(line)) line.remove_prefix(n);
  out.append(decode_character_references(line));
  out += "\r\n";
}

}  // namespace

Text lyric_value(std::string_view answer) {
  return json_string_after_key(answer, "lyric");
}

Text lyric_lines(std::string_view lyric) {
  Text out;
  std::size_t start = 0;
  while (start < lyric.size()) {
    std::size_t end = lyric.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = lyric.size();
    add_line(lyric.substr(start, end - start), out);
    start = end;
    if (start < lyric.size() && lyric[start] == '\r') ++start;
    if (start < lyric.size() && lyric[start] == '\n') ++start;
  }
  return out;
}

}  // namespace qiwa
