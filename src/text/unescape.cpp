// The answer is read the way a script engine reads  var x='<text>'; unescape(x)  once the text has
// been made safe to embed (CR LF as "{$}", "'" as "’", "\u" as "%u"), with those stand-ins undone
// afterwards. Where an engine would refuse to compile the literal, we decode leniently instead.
//
// The result is UTF-8 and is worked out in place in one buffer, in three passes that each jump with the
// library's byte search from one byte of interest to the next and move the runs between whole:
//   1. the literal's escapes (a "\u" only turns into "%u": the literal reads it as that);
//   2. unescape()'s %uHHHH and %HH, a surrogate pair of them as one character;
//   3. "’" back to "'" and "{$}" back to CR LF.
// Every pass only shrinks the text. The CR LF and "'" stand-ins of the way in change nothing a pass
// reads, so only their undoing is done.
#include "text/unescape.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/text.hpp"
#include "runtime/utf.hpp"

namespace qiwa {
namespace {

constexpr std::string_view kQuoteStandIn = "\u2019";
constexpr std::string_view kBreakStandIn = "{$}";

// Hex digit values by byte, -1 for any other byte.
constexpr std::array<signed char, 256> kHex = [] {
  std::array<signed char, 256> t{};
  for (auto& v : t) v = -1;
  for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<signed char>(c);
  for (int c = 0; c < 6; ++c) t['a' + c] = t['A' + c] = static_cast<signed char>(10 + c);
  return t;
}();

// The value of `digits` hex digits at s[at], or -1 when there are fewer.
int hex_at(std::string_view s, std::size_t at, int digits) {
  if (at + digits > s.size()) return -1;
  int value = 0;
  for (int k = 0; k < digits; ++k) {
    int d = kHex[static_cast<unsigned char>(s[at + k])];
    if (d < 0) return -1;
    value = value << 4 | d;
  }
  return value;
}

bool is_octal(char c) { return c >= '0' && c <= '7'; }

// Bytes that may start something to decode, or end the text: the escapes, the stand-ins, NUL and CR.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {'\\', '%', '{', '\0', '\r'}) t[c] = true;
  for (int c = 0x80; c < 0x100; ++c) t[c] = true;
  return t;
}();

// A short value with nothing to decode (an id, a plain name): the common case, seen in one look.
bool plain(std::string_view s) {
  if (s.size() > 64) return false;
  for (unsigned char c : s)
    if (kSpecial[c]) return false;
  return true;
}

// The next `c` at or after `from`, or npos: a plain loop over the first bytes (escapes come close
// together, where a library call costs more than it saves), the library's byte search beyond.
std::size_t next_of(const Text& t, char c, std::size_t from) {
  const std::size_t n = t.size();
  const std::size_t near = std::min(n, from + 32);
  for (std::size_t i = from; i < near; ++i)
    if (t[i] == c) return i;
  if (near >= n) return Text::npos;
  const void* hit = std::memchr(t.data() + near, c, n - near);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - t.data()) : Text::npos;
}


// Writes at t[w], where w never passes the reading position.
struct Writer {
  Text& t;
  std::size_t w = 0;
  void copy(std::size_t from, std::size_t n) {
    if (w != from) std::memmove(t.data() + w, t.data() + from, n);
    w += n;
  }
  void put(char c) { t[w++] = c; }
  void put_code(char32_t c) { w += encode_utf8(c, t.data() + w); }  // never longer than its escape
};

// Copies the run before the next `c` at or after r; returns where that `c` is (the text's end if none).
std::size_t copy_run(Writer& out, char c, std::size_t r) {
  std::size_t at = next_of(out.t, c, r);
  if (at == Text::npos) at = out.t.size();
  out.copy(r, at - r);
  return at;
}

// The escape after the backslash at s[r]: its code unit (0 to 255, or the character after the backslash,
// whole) and the bytes it takes, backslash included; 1 for an escape the grammar rejects, whose rest is
// then read plainly. A "\u" never gets here: it has become "%u", so "\" before "\u" escapes that "%".
std::size_t read_escape(std::string_view s, std::size_t r, int& unit) {
  const char e = s[r + 1];
  switch (e) {
    case 'b': unit = 0x08; return 2;
    case 't': unit = 0x09; return 2;
    case 'n': unit = 0x0A; return 2;
    case 'v': unit = 0x0B; return 2;
    case 'f': unit = 0x0C; return 2;
    case 'r': unit = 0x0D; return 2;
    case 'x': {
      int value = hex_at(s, r + 2, 2);
      if (value < 0) return 1;
      unit = value;
      return 4;
    }
    case '\\':
      if (r + 2 < s.size() && s[r + 2] == 'u') {  // "\" + the "%" of a "\u": the "%" itself
        unit = '%';
        return 2;
      }
      unit = '\\';
      return 2;
    default: break;
  }
  if (!is_octal(e)) {  // \" \' \/ and any character without escape meaning, \8 and \9 included
    unit = -1;         // the character after the backslash, copied whole
    return 1 + char_size(s, r + 1);
  }
  // Octal: up to three digits while the value stays within \377.
  int value = e - '0';
  std::size_t len = 2;
  int most = e <= '3' ? 2 : 1;
  while (most-- > 0 && r + len < s.size() && is_octal(s[r + len])) value = value * 8 + (s[r + len++] - '0');
  unit = value;
  return len;
}

// Pass 1: the literal. A leading lone CR goes (the preparation drops it); the text ends at an escape of 0.
void decode_literal(Text& t) {
  Writer out{t};
  std::size_t r = !t.empty() && t[0] == '\r' && t.compare(0, 2, "\r\n") != 0 ? 1 : 0;
  while (r < t.size()) {
    r = copy_run(out, '\\', r);
    if (r >= t.size()) break;
    if (r + 1 >= t.size()) {  // a trailing lone backslash stays
      out.put('\\');
      break;
    }
    if (t[r + 1] == 'u') {  // "\u" reads as "%u"; the "u" and what follows are plain text
      out.put('%');
      r += 1;
      continue;
    }
    int unit = 0;
    std::size_t taken = read_escape(t, r, unit);
    if (taken == 1) {  // rejected: the backslash goes, the rest is read plainly
      r += 1;
      continue;
    }
    if (unit == 0) break;
    if (unit < 0)
      out.copy(r + 1, taken - 1);
    else
      out.put_code(static_cast<char32_t>(unit));
    r += taken;
  }
  t.resize(out.w);
}

bool high_surrogate(int u) { return u >= 0xD800 && u < 0xDC00; }
bool low_surrogate(int u) { return u >= 0xDC00 && u < 0xE000; }

// `value`, the code of the escape at t[r], joined into one character with a low surrogate that follows
// as `mark` and four hex digits; `taken` then covers both escapes.
int join_pair(const Text& t, std::size_t r, std::string_view mark, int value, std::size_t& taken) {
  if (!high_surrogate(value) || t.compare(r + 6, mark.size(), mark) != 0) return value;
  const int low = hex_at(t, r + 8, 4);
  if (!low_surrogate(low)) return value;
  taken = 12;
  return 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
}

// Pass 2: unescape(). Any other "%" stays; the text ends at a code of 0.
void decode_percent(Text& t) {
  Writer out{t};
  std::size_t r = 0;
  while (r < t.size()) {
    r = copy_run(out, '%', r);
    if (r >= t.size()) break;
    int value = -1;
    std::size_t taken = 1;
    if (r + 1 < t.size() && t[r + 1] == 'u' && (value = hex_at(t, r + 2, 4)) >= 0) {
      taken = 6;
      value = join_pair(t, r, "%u", value, taken);
    } else if ((value = hex_at(t, r + 1, 2)) >= 0) {
      taken = 3;
    }
    if (value == 0) break;
    if (value < 0)
      out.put('%');
    else
      out.put_code(static_cast<char32_t>(value));  // a lone surrogate becomes U+FFFD
    r += taken;
  }
  t.resize(out.w);
}

// Pass 3: the stand-ins undone.
void restore(Text& t) {
  if (t.find(kQuoteStandIn) == Text::npos && t.find(kBreakStandIn) == Text::npos) return;
  Writer out{t};
  std::size_t r = 0;
  while (r < t.size()) {
    std::size_t at = t.find_first_of("{\xE2", r);
    if (at == Text::npos) at = t.size();
    out.copy(r, at - r);
    r = at;
    if (r >= t.size()) break;
    if (t.compare(r, kBreakStandIn.size(), kBreakStandIn) == 0) {
      out.put('\r');
      out.put('\n');
      r += kBreakStandIn.size();
    } else if (t.compare(r, kQuoteStandIn.size(), kQuoteStandIn) == 0) {
      out.put('\'');
      r += kQuoteStandIn.size();
    } else {
      out.copy(r, 1);
      r += 1;
    }
  }
  t.resize(out.w);
}

// The usual answer value, whose only escapes are "\uXXXX" (pairs too), "\/" and "\"": the first two passes
// at once, with the same result. False, with t half-done, at anything else or at a code of 0.
bool decode_usual(Text& t) {
  if (t.find('%') != Text::npos || (!t.empty() && t[0] == '\r')) return false;
  Writer out{t};
  std::size_t r = 0;
  while (r < t.size()) {
    r = copy_run(out, '\\', r);
    if (r >= t.size()) break;
    const char e = r + 1 < t.size() ? t[r + 1] : '\0';
    if (e == '/' || e == '"') {
      out.put(e);
      r += 2;
      continue;
    }
    int value = e == 'u' ? hex_at(t, r + 2, 4) : -1;
    if (value <= 0) return false;
    std::size_t taken = 6;
    value = join_pair(t, r, "\\u", value, taken);
    out.put_code(static_cast<char32_t>(value));  // a lone surrogate becomes U+FFFD
    r += taken;
  }
  t.resize(out.w);
  return true;
}

// The three passes, each only when its text has something for it.
void decode_all(Text& t) {
  if (t.find('\\') != Text::npos || (!t.empty() && t[0] == '\r')) decode_literal(t);
  if (t.find('%') != Text::npos) decode_percent(t);
  restore(t);
}

}  // namespace

Text unescape_text(std::string_view text) {
  if (plain(text)) return Text(text);
  text = text.substr(0, text.find('\0'));
  // A short value (a name, an album) is worked out in a buffer this thread keeps, so that a result
  // short enough for the string's own storage costs no allocation; a long one is worked out in place.
  if (text.size() <= 1024 && is_valid_utf8(text)) {
    thread_local Text work;
    work.assign(text);
    if (decode_usual(work)) {
      restore(work);
    } else {
      work.assign(text);
      decode_all(work);
    }
    return Text(work);
  }
  Text t = valid_utf8(text);
  decode_all(t);
  return t;
}

}  // namespace qiwa
