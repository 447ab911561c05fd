// The answer is read the way a script engine would read  var x='<text>'; unescape(x)  once the
// text has been made safe to embed (CR LF as "{$}", quotes as "’"), and those stand-ins are undone
// afterwards. Where an engine would refuse to compile the literal, we decode leniently instead.
// Every pass is linear and works in place on one buffer.
#include "text/unescape.hpp"

#include "text/charset.hpp"

namespace qiwa {
namespace {

constexpr char kQuoteStandIn[] = "\xA1\xAF";  // "’" in GBK, written as bytes: literals are re-encoded
constexpr std::string_view kBreakStandIn = "{$}";

// A byte of 0x80 or above and the byte after it are one character.
std::size_t char_size(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size() ? 2 : 1;
}

// CR LF to "{$}", a leading CR dropped, "\u" to "%u", "'" to "’".
Text prepare(std::string_view text) {
  Text out;
  out.reserve(text.size() + text.size() / 8 + 8);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = char_size(text, i);
    char c = text[i];
    if (n == 2) {
      out.append(text.data() + i, 2);
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += kBreakStandIn;
      n = 2;
    } else if (c == '\\' && i + 1 < text.size() && text[i + 1] == 'u') {
      out += "%u";
      n = 2;
    } else if (c == '\'') {
      out += kQuoteStandIn;
    } else {
      out += c;
    }
    i += n;
  }
  if (!out.empty() && out[0] == '\r') out.erase(0, 1);
  return out;
}

int hex_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The value of `digits` hex digits at s[at], or -1 when there are fewer.
int hex_at(std::u16string_view s, std::size_t at, int digits) {
  if (at + digits > s.size()) return -1;
  int value = 0;
  for (int k = 0; k < digits; ++k) {
    int d = hex_value(s[at + k]);
    if (d < 0) return -1;
    value = value << 4 | d;
  }
  return value;
}

bool is_octal(char16_t c) { return c >= u'0' && c <= u'7'; }

// The escape after the backslash at s[r]: writes its unit and returns the length taken, backslash
// included; 1 (the backslash alone) for an escape the grammar rejects, whose rest is then read plainly.
std::size_t read_escape(std::u16string_view s, std::size_t r, char16_t& unit) {
  char16_t e = s[r + 1];
  switch (e) {
    case u'b': unit = 0x08; return 2;
    case u't': unit = 0x09; return 2;
    case u'n': unit = 0x0A; return 2;
    case u'v': unit = 0x0B; return 2;
    case u'f': unit = 0x0C; return 2;
    case u'r': unit = 0x0D; return 2;
    case u'x':
    case u'u': {
      int digits = e == u'x' ? 2 : 4;
      int value = hex_at(s, r + 2, digits);
      if (value < 0) return 1;
      unit = static_cast<char16_t>(value);
      return 2 + digits;
    }
    default: break;
  }
  if (!is_octal(e)) {  // \" \' \\ and any character without escape meaning, \8 and \9 included
    unit = e;
    return 2;
  }
  // Octal: up to three digits while the value stays within \377.
  int value = e - u'0';
  std::size_t len = 2;
  int most = e <= u'3' ? 2 : 1;
  while (most-- > 0 && r + len < s.size() && is_octal(s[r + len])) value = value * 8 + (s[r + len++] - u'0');
  unit = static_cast<char16_t>(value);
  return len;
}

// The string-literal body, decoded in place. Stops at the first unit 0: nothing after it is kept.
void decode_literal(std::u16string& s) {
  std::size_t w = 0, r = 0;
  while (r < s.size()) {
    char16_t c = s[r];
    std::size_t taken = 1;
    if (c == u'\\' && r + 1 < s.size()) {
      taken = read_escape(s, r, c);
      if (taken == 1) c = s[r + 1], taken = 2;  // rejected: drop the backslash, keep the rest
    }
    if (c == 0) break;
    s[w++] = c;
    r += taken;
  }
  s.resize(w);
}

// unescape(): %uHHHH and %HH, in place; any other "%" is kept.
void decode_percent(std::u16string& s) {
  std::size_t w = 0, r = 0;
  while (r < s.size()) {
    char16_t c = s[r++];
    if (c == u'%') {
      int value;
      if (r < s.size() && s[r] == u'u' && (value = hex_at(s, r + 1, 4)) >= 0) {
        c = static_cast<char16_t>(value);
        r += 5;
      } else if ((value = hex_at(s, r, 2)) >= 0) {
        c = static_cast<char16_t>(value);
        r += 2;
      }
    }
    s[w++] = c;
  }
  s.resize(w);
}

// "’" back to "'", then "{$}" back to CR LF, in place (both only shrink the text).
void restore(Text& t) {
  std::size_t w = 0;
  for (std::size_t r = 0; r < t.size();) {
    std::size_t n = char_size(t, r);
    if (n == 2 && t[r] == kQuoteStandIn[0] && t[r + 1] == kQuoteStandIn[1]) {
      t[w++] = '\'';
    } else if (n == 1 && std::string_view(t).substr(r, 3) == kBreakStandIn) {
      t[w++] = '\r';
      t[w++] = '\n';
      n = 3;
    } else {
      for (std::size_t k = 0; k < n; ++k) t[w++] = t[r + k];
    }
    r += n;
  }
  t.resize(w);
}

}  // namespace

Text unescape_text(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::u16string units = text_to_utf16(prepare(text));
  decode_literal(units);
  decode_percent(units);
  Text out = utf16_to_text(units);
  restore(out);
  return out;
}

}  // namespace qiwa
