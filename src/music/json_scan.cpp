#include "music/json_scan.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qiwa {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '.';
}

std::size_t skip_spaces(std::string_view s, std::size_t i) {
  while (i < s.size() && is_space(s[i])) ++i;
  return i;
}

// Position of the array's "[" after an optional "callback(", or npos.
std::size_t array_start(std::string_view s) {
  std::size_t i = skip_spaces(s, 0);
  if (i < s.size() && s[i] != '[') {
    std::size_t name = i;
    while (i < s.size() && is_name_char(s[i])) ++i;
    if (i == name) return std::string_view::npos;
    i = skip_spaces(s, i);
    if (i >= s.size() || s[i] != '(') return std::string_view::npos;
    i = skip_spaces(s, i + 1);
  }
  return (i < s.size() && s[i] == '[') ? i : std::string_view::npos;
}

}  // namespace

// Jumps from quote to quote; one is the end when an even run of backslashes stands before it.
std::size_t json_string_end(std::string_view text, std::size_t quote) {
  for (std::size_t i = quote + 1; i < text.size(); ++i) {
    const void* hit = std::memchr(text.data() + i, '"', text.size() - i);
    if (!hit) break;
    i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    std::size_t run = 0;
    while (i - run > quote + 1 && text[i - run - 1] == '\\') ++run;
    if (run % 2 == 0) return i + 1;
  }
  return std::string_view::npos;
}

std::vector<std::string_view> json_array_objects(std::string_view answer) {
  std::vector<std::string_view> objects;
  std::size_t i = array_start(answer);
  if (i == std::string_view::npos) return objects;
  int depth = 0;
  std::size_t object_start = 0;
  for (++i; i < answer.size(); ++i) {
    char c = answer[i];
    if (c == '"') {
      std::size_t end = json_string_end(answer, i);
      if (end == std::string_view::npos) break;
      i = end - 1;
    } else if (c == '{' || c == '[') {
      if (depth++ == 0 && c == '{') object_start = i;
    } else if (c == '}' || c == ']') {
      if (depth == 0) break;  // the array's own "]"
      if (--depth == 0 && c == '}') objects.push_back(answer.substr(object_start, i + 1 - object_start));
    }
  }
  return objects;
}

namespace {

// Calls visit(name, at) for each string that a colon follows, `at` the index of its value, in order,
// until visit returns true. Strings are passed over whole, so nothing inside a value counts as a key.
template <class Visit>
void for_each_key(std::string_view text, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '"') continue;
    const std::size_t end = json_string_end(text, i);
    if (end == std::string_view::npos) return;
    const std::string_view name = text.substr(i + 1, end - i - 2);
    i = end - 1;
    std::size_t at = skip_spaces(text, end);
    if (at >= text.size() || text[at] != ':') continue;  // a value, not a key
    at = skip_spaces(text, at + 1);
    if (at >= text.size() || visit(name, at)) return;
  }
}

}  // namespace

Text json_string_after_key(std::string_view text, std::string_view key) {
  // A key whose value is no string is passed over: the next one of that name may have one.
  Text value;
  for_each_key(text, [&](std::string_view name, std::size_t at) {
    if (name != key || text[at] != '"') return false;
    const std::size_t end = json_string_end(text, at);
    if (end != std::string_view::npos) value = Text(text.substr(at + 1, end - at - 2));
    return true;
  });
  return value;
}

namespace {

// The scalar whose first byte is at text[j]; see json_scalar_after_key.
std::string_view scalar_at(std::string_view text, std::size_t j) {
  if (text[j] == '"') {
    std::size_t value_end = json_string_end(text, j);
    return value_end == std::string_view::npos ? std::string_view() : text.substr(j + 1, value_end - j - 2);
  }
  std::size_t end = j;
  while (end < text.size() && (is_name_char(text[end]) || text[end] == '-' || text[end] == '+')) ++end;
  std::string_view token = text.substr(j, end - j);
  return token == "null" ? std::string_view() : token;
}

}  // namespace

Text json_scalar_after_key(std::string_view text, std::string_view key) {
  std::string_view value;
  json_scalars_after_keys(text, {&key, 1}, {&value, 1});
  return Text(value);
}

void json_scalars_after_keys(std::string_view text, std::span<const std::string_view> keys,
                             std::span<std::string_view> values) {
  // A bit per key found: no allocation in the hit parser's inner loop.
  const std::size_t count = std::min<std::size_t>(keys.size(), 64);
  std::uint64_t found = 0;
  std::size_t missing = count;
  if (missing == 0) return;
  for_each_key(text, [&](std::string_view name, std::size_t at) {
    std::size_t k = 0;
    while (k < count && ((found >> k & 1) || keys[k] != name)) ++k;
    if (k == count) return false;
    values[k] = scalar_at(text, at);
    found |= std::uint64_t{1} << k;
    return --missing == 0;
  });
}

}  // namespace qiwa
