#include "runtime/utf.hpp"

#include <cstdint>
#include <cstring>

namespace qiwa {
namespace {

unsigned char byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The code point of the well-formed character of `n` bytes at s[i].
char32_t decode_at(std::string_view s, std::size_t i, std::size_t n) {
  static constexpr unsigned char kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t c = byte(s, i) & kLeadMask[n];
  for (std::size_t k = 1; k < n; ++k) c = c << 6 | (byte(s, i + k) & 0x3F);
  return c;
}

bool high_surrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool low_surrogate(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// How many bytes from s[i] on are the start of a well-formed character, and (in `need`) how many that
// character takes: `need` when it is whole; less (at least 1) for its longest start that could still have
// become one, which then stands for one U+FFFD; need 0 and 1 for a byte that starts nothing.
std::size_t valid_prefix(std::string_view s, std::size_t i, std::size_t& need) {
  const unsigned char b = byte(s, i);
  // The second byte's range per lead byte (RFC 3629): no overlongs, no surrogates, nothing past U+10FFFF.
  unsigned char lo = 0x80, hi = 0xBF;
  need = 0;
  if (b < 0x80) need = 1;
  else if (b >= 0xC2 && b <= 0xDF) need = 2;
  else if (b >= 0xE0 && b <= 0xEF) need = 3, lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
  else if (b >= 0xF0 && b <= 0xF4) need = 4, lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
  std::size_t k = 1;
  for (; k < need && i + k < s.size(); ++k) {
    const unsigned char c = byte(s, i + k);
    if (k == 1 ? (c < lo || c > hi) : !continuation(c)) break;
  }
  return k;
}

}  // namespace

std::size_t utf8_length_at(std::string_view s, std::size_t i) {
  std::size_t need = 0;
  std::size_t got = valid_prefix(s, i, need);
  return got == need ? need : 0;
}

std::size_t char_size(std::string_view s, std::size_t i) {
  std::size_t n = utf8_length_at(s, i);
  return n ? n : 1;
}

// A byte that continues no well-formed character before it (a stray byte is a character of its own).
bool is_char_start(std::string_view s, std::size_t i) {
  if (i == 0 || i >= s.size() || (byte(s, i) & 0xC0) != 0x80) return true;
  for (std::size_t k = 1; k <= 3 && k <= i; ++k) {
    if ((byte(s, i - k) & 0xC0) != 0x80) return utf8_length_at(s, i - k) <= k;
  }
  return true;
}

bool is_valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    // Answers are mostly ASCII: step over eight such bytes at a time.
    std::uint64_t eight = 0;
    if (i + 8 <= s.size() && (std::memcpy(&eight, s.data() + i, 8), (eight & 0x8080808080808080ull) == 0)) {
      i += 8;
      continue;
    }
    std::size_t n = utf8_length_at(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

Text valid_utf8(std::string_view s) {
  if (is_valid_utf8(s)) return Text(s);
  Text out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t need = 0, n = valid_prefix(s, i, need);
    if (n == need)
      out.append(s.substr(i, n));
    else
      append_utf8(out, kReplacementCharacter);  // one for the longest start of a character
    i += n;
  }
  return out;
}

std::size_t encode_utf8(char32_t c, char* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = kReplacementCharacter;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | c >> 6);
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | c >> 12);
    out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | c >> 18);
  out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void append_utf8(Text& out, char32_t c) {
  char buf[4];
  out.append(buf, encode_utf8(c, buf));
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char b = byte(utf8, i);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    std::size_t need = 0, n = valid_prefix(utf8, i, need);
    char32_t c = n == need ? decode_at(utf8, i, n) : kReplacementCharacter;
    i += n;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

Text utf16_to_utf8(std::u16string_view utf16) {
  Text out;
  out.reserve(utf16.size() + utf16.size() / 2);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (high_surrogate(utf16[i]) && i + 1 < utf16.size() && low_surrogate(utf16[i + 1]))
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    append_utf8(out, c);  // a lone surrogate becomes U+FFFD there
  }
  return out;
}

}  // namespace qiwa
