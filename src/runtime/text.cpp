// UTF-8 text and byte-set operations. A match only counts where a character starts, and a cut only
// falls between characters, so no operation ever splits a character. UTF-8 tells a character's
// start from the bytes around it, so each check looks at no more than the three bytes before.
#include "runtime/text.hpp"

#include <algorithm>
#include <climits>

#include "runtime/utf.hpp"

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
  while (from < s.size() && !is_char_start(s, from)) ++from;
  return std::min(from, s.size());
}

// Last character start at or before byte `to` (the end of the text counts as one).
std::size_t boundary_at_or_before(std::string_view s, std::size_t to) {
  if (to >= s.size()) return s.size();
  while (to > 0 && !is_char_start(s, to)) --to;
  return to;
}

// Byte index of the first match that begins and ends between characters, at or after `i`.
std::size_t find_at_boundary(std::string_view text, std::string_view sought, std::size_t i, bool fold_case) {
  auto whole = [&](std::size_t at) {
    return is_char_start(text, at) && (at + sought.size() == text.size() || is_char_start(text, at + sought.size()));
  };
  if (!fold_case) {
    // The library's byte search finds candidates; only those that would split a character are passed over.
    for (std::size_t at = text.find(sought, i); at != std::string_view::npos; at = text.find(sought, at + 1))
      if (whole(at)) return at;
    return std::string_view::npos;
  }
  for (; i < text.size(); i += char_size(text, i))
    if (matches_at(text, i, sought, fold_case) && whole(i)) return i;
  return std::string_view::npos;
}

// Byte index of the first match at a character start at or after `from`, or npos.
std::size_t find_from(std::string_view text, std::string_view sought, std::size_t from, bool fold_case) {
  return find_at_boundary(text, sought, boundary_at_or_after(text, from), fold_case);
}

// The full-width space U+3000 trims like the ASCII space.
constexpr std::string_view kIdeographicSpace = "\u3000";

bool is_space_at(std::string_view s, std::size_t i) {
  return s[i] == ' ' || s.substr(i, kIdeographicSpace.size()) == kIdeographicSpace;
}

// Full-width digits U+FF10..FF19 (EF BC 90..99) and signs U+FF0B "＋", U+FF0D "－" as their ASCII forms.
Text fold_full_width_numbers(std::string_view s) {
  Text out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_size(s, i);
    if (n == 3 && byte_at(s, i) == 0xEF && byte_at(s, i + 1) == 0xBC) {
      unsigned char t = byte_at(s, i + 2);
      if (t >= 0x90 && t <= 0x99) {
        out += static_cast<char>('0' + (t - 0x90));
        i += 3;
        continue;
      }
      if (t == 0x8B || t == 0x8D) {
        out += t == 0x8B ? '+' : '-';
        i += 3;
        continue;
      }
    }
    out.append(s.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

int length(std::string_view text) {
  return static_cast<int>(text.size());
}

Text left(std::string_view text, int n) {
  if (n <= 0) return {};
  return Text(text.substr(0, boundary_at_or_before(text, static_cast<std::size_t>(n))));
}

Text right(std::string_view text, int n) {
  if (n <= 0) return {};
  std::size_t k = std::min(text.size(), static_cast<std::size_t>(n));
  return Text(text.substr(boundary_at_or_after(text, text.size() - k)));
}

Text middle(std::string_view text, int start, int count) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || count <= 0) return {};
  const std::size_t from = static_cast<std::size_t>(start - 1);
  const std::size_t begin = boundary_at_or_after(text, from);
  const std::size_t end = boundary_at_or_before(text, from + std::min(text.size() - from, static_cast<std::size_t>(count)));
  return begin < end ? Text(text.substr(begin, end - begin)) : Text();
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

Text to_text(long long value, std::size_t digits) {
  Text text = std::to_string(value < 0 ? -value : value);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return value < 0 ? "-" + text : text;
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
