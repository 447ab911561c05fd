#include "music/lyrics.hpp"

#include <algorithm>
#include <optional>

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

// The milliseconds of a time tag's inside ("mm:ss", "mm:ss.x" to "mm:ss.xxx", "mm:ss:xx"), if it is one.
std::optional<std::int64_t> tag_ms(std::string_view tag) {
  std::size_t i = 0;
  auto number = [&](std::size_t most, std::size_t& count) {
    std::int64_t value = 0;
    for (count = 0; i < tag.size() && is_digit(tag[i]) && count < most; ++i, ++count) value = value * 10 + (tag[i] - '0');
    return value;
  };
  std::size_t n = 0;
  const std::int64_t minutes = number(5, n);
  if (n == 0 || i >= tag.size() || tag[i++] != ':') return std::nullopt;
  const std::int64_t seconds = number(2, n);
  if (n == 0) return std::nullopt;
  std::int64_t ms = (minutes * 60 + seconds) * 1000;
  if (i < tag.size() && (tag[i] == '.' || tag[i] == ':')) {
    ++i;
    std::int64_t fraction = number(3, n);
    if (n == 0) return std::nullopt;
    for (std::size_t k = n; k < 3; ++k) fraction *= 10;
    ms += fraction;
  }
  if (i != tag.size()) return std::nullopt;
  return ms;
}

// The N of "[offset:N]" (a sign allowed), if the line is one.
std::optional<std::int64_t> offset_of(std::string_view line) {
  constexpr std::string_view kTag = "[offset:";
  if (line.substr(0, kTag.size()) != kTag) return std::nullopt;
  std::size_t i = kTag.size();
  while (i < line.size() && line[i] == ' ') ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < line.size() && is_digit(line[i]) && digits < 9; ++i, ++digits) value = value * 10 + (line[i] - '0');
  if (digits == 0) return std::nullopt;
  return negative ? -value : value;
}

// Calls fn for each line of the text; CR LF, CR and LF each end one.
template <class Fn>
void for_each_line(std::string_view text, Fn fn) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    fn(text.substr(start, end - start));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
}

}  // namespace

Text lyric_value(std::string_view answer) {
  return json_string_after_key(answer, "lyric");
}

Text translation_value(std::string_view answer) {
  return json_string_after_key(answer, "tlyric");
}

Lyrics read_lyrics(std::string_view lyric) {
  Lyrics out;
  std::int64_t offset = 0;
  int line_no = 0;
  for_each_line(lyric, [&](std::string_view line) {
    if (is_metadata_line(line)) {
      if (auto n = offset_of(line)) offset = *n;
      return;
    }
    while (std::size_t n = time_tag_length(line)) {
      if (auto ms = tag_ms(line.substr(1, n - 2))) out.cues.push_back({*ms, line_no});
      line.remove_prefix(n);
    }
    out.lines.append(decode_character_references(line));
    out.lines += "\r\n";
    ++line_no;
  });
  for (LyricCue& cue : out.cues) cue.ms = std::max<std::int64_t>(0, cue.ms - offset);
  std::stable_sort(out.cues.begin(), out.cues.end(), [](const LyricCue& a, const LyricCue& b) { return a.ms < b.ms; });
  return out;
}

Text lyric_lines(std::string_view lyric) { return read_lyrics(lyric).lines; }

int current_line(const std::vector<LyricCue>& cues, std::int64_t ms) {
  auto after = std::upper_bound(cues.begin(), cues.end(), ms, [](std::int64_t t, const LyricCue& c) { return t < c.ms; });
  return after == cues.begin() ? -1 : std::prev(after)->line;
}

}  // namespace qiwa
