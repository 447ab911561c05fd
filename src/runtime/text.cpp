// GBK text and byte-set operations. Matches are only tried at character starts, found by walking
// the text from its first byte, so a double-byte character is never split by a match.
#include "runtime/text.hpp"

#include <algorithm>
#include <climits>

namespace qiwa {
namespace {

unsigned char byte_at(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

char fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `sought` matches `text` at byte `at`. With folding, only the single-byte characters of the
// sought text fold, so the trail byte of a pair never matches a different character.
bool matches_at(std::string_view text, std::size_t at, std::string_view sought, bool fold_case) {
  if (sought.size() > text.size() - at) return false;
  for (std::size_t j = 0; j < sought.size();) {
    std::size_t n = char_size(sought, j);
    if (n == 1 && fold_case) {
      if (fold(text[at + j]) != fold(sought[j])) return false;
    } else if (text.compare(at + j, n, sought.substr(j, n)) != 0) {
      return false;
    }
    j += n;
  }
  return true;
}

// First character start at or after byte `from`.
std::size_t boundary_at_or_after(std::string_view s, std::size_t from) {
  std::size_t i = 0;
  while (i < from && i < s.size()) i += char_size(s, i);
  return i;
}

// Byte index of the first match at a character start at or after `i`, itself a character start.
std::size_t find_at_boundary(std::string_view text, std::string_view sought, std::size_t i, bool fold_case) {
  if (!fold_case) {
    // The library's byte search finds candidates; the character walk only rejects those that start
    // on a trail byte, and it never goes back, so a long scan stays linear.
    for (std::size_t at = text.find(sought, i); at != std::string_view::npos; at = text.find(sought, i)) {
      while (i < at) i += char_size(text, i);
      if (i == at) return at;
    }
    return std::string_view::npos;
  }
  for (; i < text.size(); i += char_size(text, i))
    if (matches_at(text, i, sought, fold_case)) return i;
  return std::string_view::npos;
}

// Byte index of the first match at a character start at or after `from`, or npos.
std::size_t find_from(std::string_view text, std::string_view sought, std::size_t from, bool fold_case) {
  return find_at_boundary(text, sought, boundary_at_or_after(text, from), fold_case);
}

bool is_space_at(std::string_view s, std::size_t i) {
  if (s[i] == ' ') return true;
  return byte_at(s, i) == 0xA1 && char_size(s, i) == 2 && byte_at(s, i + 1) == 0xA1;
}

// Full-width digits (A3 B0..B9) and signs (A3 AB "＋", A3 AD "－") as their ASCII forms.
Text fold_full_width_numbers(std::string_view s) {
  Text out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_size(s, i);
    if (n == 2 && byte_at(s, i) == 0xA3) {
      unsigned char t = byte_at(s, i + 1);
      if (t >= 0xB0 && t <= 0xB9) {
        out += static_cast<char>('0' + (t - 0xB0));
        i += 2;
        continue;
      }
      if (t == 0xAB || t == 0xAD) {
        out += t == 0xAB ? '+' : '-';
        i += 2;
        continue;
      }
    }
    out.append(s.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

std::size_t char_size(std::string_view s, std::size_t i) {
  if (i + 1 < s.size() && byte_at(s, i) >= 0x80 && s[i + 1] != '\0') return 2;
  return 1;
}

int length(std::string_view text) {
  return static_cast<int>(text.size());
}

Text left(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<std::size_t>(n)));
}

Text right(std::string_view text, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(text.size(), static_cast<std::size_t>(n));
  return Text(text.substr(text.size() - k));
}

Text middle(std::string_view text, int start, int count) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || count <= 0) return {};
  return Text(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

int find(std::string_view text, std::string_view sought, int start, bool ignore_case) {
  std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (from >= text.size()) return -1;
  if (sought.empty()) return 1;
  std::size_t at = find_from(text, sought, from, ignore_case);
  return at == std::string_view::npos ? -1 : static_cast<int>(at + 1);
}

Text replace(std::string_view text, std::string_view sought, std::string_view replacement,
             bool case_sensitive, int start, int count) {
  std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (text.empty() || sought.empty() || from >= text.size() || count == 0) return Text(text);
  from = boundary_at_or_after(text, from);
  Text out(text.substr(0, from));
  int done = 0;
  std::size_t i = from;
  while (i < text.size() && (count < 0 || done < count)) {
    std::size_t at = find_at_boundary(text, sought, i, !case_sensitive);
    if (at == std::string_view::npos) break;
    out.append(text.substr(i, at - i)).append(replacement);
    i = at + sought.size();
    ++done;
  }
  if (i < text.size()) out.append(text.substr(i));
  return out;
}

TextArray split(std::string_view text, std::string_view separator, int max_pieces) {
  TextArray pieces;
  if (text.empty() || max_pieces == 0) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  auto full = [&] { return max_pieces > 0 && pieces.size() >= static_cast<std::size_t>(max_pieces); };
  std::size_t piece_start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t at = find_at_boundary(text, separator, i, false);
    if (at == std::string_view::npos) break;
    pieces.emplace_back(text.substr(piece_start, at - piece_start));
    if (full()) return pieces;
    i = at + separator.size();
    piece_start = i;
  }
  if (piece_start < text.size()) pieces.emplace_back(text.substr(piece_start));
  return pieces;
}

Text trim(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && is_space_at(text, first)) first += char_size(text, first);
  std::size_t end = first;  // end of the last character that is not a space
  for (std::size_t i = first; i < text.size();) {
    std::size_t n = char_size(text, i);
    if (!is_space_at(text, i)) end = i + n;
    i += n;
  }
  return Text(text.substr(first, end - first));
}

Text remove_spaces(std::string_view text) {
  Text out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = char_size(text, i);
    if (!is_space_at(text, i)) out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

Text upper_case(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = char_size(text, i);
    if (n == 1)
      out += fold(text[i]);
    else
      out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

int character_code(std::string_view text, int position) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) return 0;
  return static_cast<signed char>(text[static_cast<std::size_t>(position - 1)]);
}

// Reads like the C library's atoi, but a value out of range is clamped instead of overflowing.
int to_integer(std::string_view text) {
  Text s = fold_full_width_numbers(text);
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(std::min<long long>(value, INT_MAX));
}

Text to_text(long long value) {
  return std::to_string(value);
}

Text to_text(const Bytes& bytes) {
  auto nul = std::find(bytes.begin(), bytes.end(), 0);
  return Text(bytes.begin(), nul);
}

Bytes to_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Text spaces(int n) {
  return n < 1 ? Text() : Text(static_cast<std::size_t>(n), ' ');
}

Bytes bytes_left(const Bytes& b, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(b.size(), static_cast<std::size_t>(n));
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(k));
}

Bytes bytes_middle(const Bytes& b, int start, int count) {
  std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (from >= b.size() || count <= 0) return {};
  std::size_t k = std::min(b.size() - from, static_cast<std::size_t>(count));
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
               b.begin() + static_cast<std::ptrdiff_t>(from + k));
}

Bytes bytes_replace(const Bytes& b, const Bytes& sought, const Bytes& replacement, int start, int count) {
  std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
  if (b.empty() || sought.empty() || from >= b.size() || count == 0) return b;
  Bytes out(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(from));
  int done = 0;
  std::size_t i = from;
  while (i < b.size()) {
    bool hit = (count < 0 || done < count) && b.size() - i >= sought.size() &&
               std::equal(sought.begin(), sought.end(), b.begin() + static_cast<std::ptrdiff_t>(i));
    if (hit) {
      out.insert(out.end(), replacement.begin(), replacement.end());
      i += sought.size();
      ++done;
    } else {
      out.push_back(b[i++]);
    }
  }
  return out;
}

Bytes zero_filled(int n) {
  return n <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0);
}

}  // namespace qiwa
