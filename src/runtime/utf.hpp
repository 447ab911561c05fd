#pragma once
// UTF-8, the program's text, and UTF-16, the platform's, converted one way everywhere: bytes that are
// no UTF-8 and lone surrogates become U+FFFD, so every result is well formed. As in the Unicode
// standard's practice (and in Windows' own conversion), one U+FFFD stands for the longest start of a
// character that was cut off, and one for each other stray byte.
#include <string>

#include "runtime/types.hpp"

namespace qiwa {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Bytes of the well-formed UTF-8 character that starts at s[i] (1 to 4), or 0 when none does
// (a continuation byte, an overlong form, a surrogate, a cut-off sequence).
std::size_t utf8_length_at(std::string_view s, std::size_t i);
// Bytes taken by the character that starts at s[i] (1 to 4; 1 for a byte that is no UTF-8, which counts
// as a character of its own).
std::size_t char_size(std::string_view s, std::size_t i);
// True when a character starts at s[i] (or i is the end), never inside one.
bool is_char_start(std::string_view s, std::size_t i);
bool is_valid_utf8(std::string_view s);
// The bytes as well-formed UTF-8.
Text valid_utf8(std::string_view s);

// Writes the character's 1 to 4 bytes at out and returns their number; U+FFFD for a surrogate or a
// value past U+10FFFF.
std::size_t encode_utf8(char32_t c, char* out);
void append_utf8(Text& out, char32_t c);
std::u16string utf8_to_utf16(std::string_view utf8);
Text utf16_to_utf8(std::u16string_view utf16);

}  // namespace qiwa
