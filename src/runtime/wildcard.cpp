// Wildcard matching over UTF-8 names ("?" takes one character), with backtracking limited to the
// last "*" (linear in practice).
#include "runtime/wildcard.hpp"

#include "runtime/text.hpp"

namespace qiwa {
namespace {

char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares one pattern character (not a wildcard) with the name's character at n.
bool same_char(std::string_view p, std::size_t pi, std::size_t plen, std::string_view n, std::size_t ni,
               std::size_t nlen) {
  if (plen != nlen) return false;
  if (plen == 1) return fold(p[pi]) == fold(n[ni]);
  return p.substr(pi, plen) == n.substr(ni, nlen);
}

}  // namespace

bool has_wildcard(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += char_size(text, i))
    if (text[i] == '*' || text[i] == '?') return true;
  return false;
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  std::size_t p = 0, n = 0;
  std::size_t star_p = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    std::size_t nlen = char_size(name, n);
    if (p < pattern.size()) {
      std::size_t plen = char_size(pattern, p);
      if (plen == 1 && pattern[p] == '*') {
        star_p = ++p;
        star_n = n;
        continue;
      }
      if ((plen == 1 && pattern[p] == '?') || same_char(pattern, p, plen, name, n, nlen)) {
        p += plen;
        n += nlen;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    // Let the last "*" swallow one more character of the name and retry from there.
    star_n += char_size(name, star_n);
    n = star_n;
    p = star_p;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace qiwa
