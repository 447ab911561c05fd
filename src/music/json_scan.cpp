#include "music/json_scan.hpp"

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

std::size_t json_string_end(std::string_view text, std::size_t quote) {
  for (std::size_t i = quote + 1; i < text.size(); ++i) {
    if (text[i] == '\\') ++i;
    else if (text[i] == '"') return i + 1;
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

// Index of the first value of "key", after the colon and any spaces; npos when there is none.
std::size_t value_of_key(std::string_view text, std::string_view key) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '"') continue;
    std::size_t end = json_string_end(text, i);
    if (end == std::string_view::npos) return std::string_view::npos;
    bool is_key = text.substr(i + 1, end - i - 2) == key;
    i = end - 1;
    if (!is_key) continue;
    std::size_t j = skip_spaces(text, end);
    if (j >= text.size() || text[j] != ':') continue;
    j = skip_spaces(text, j + 1);
    if (j < text.size()) return j;
  }
  return std::string_view::npos;
}

Text json_string_after_key(std::string_view text, std::string_view key) {
  // A key whose value is no string is passed over: the next one of that name may have one.
  for (std::size_t from = 0; from < text.size();) {
    std::size_t j = value_of_key(text.substr(from), key);
    if (j == std::string_view::npos) return {};
    j += from;
    if (text[j] == '"') {
      std::size_t value_end = json_string_end(text, j);
      if (value_end == std::string_view::npos) return {};
      return Text(text.substr(j + 1, value_end - j - 2));
    }
    from = j;
  }
  return {};
}

Text json_scalar_after_key(std::string_view text, std::string_view key) {
  std::size_t j = value_of_key(text, key);
  if (j == std::string_view::npos) return {};
  if (text[j] == '"') {
    std::size_t value_end = json_string_end(text, j);
    return value_end == std::string_view::npos ? Text() : Text(text.substr(j + 1, value_end - j - 2));
  }
  std::size_t end = j;
  while (end < text.size() && (is_name_char(text[end]) || text[end] == '-' || text[end] == '+')) ++end;
  std::string_view token = text.substr(j, end - j);
  return token == "null" ? Text() : Text(token);
}

}  // namespace qiwa
