#pragma once
// Text operations over UTF-8 byte strings: 1-based byte positions and byte lengths, -1 for "not found".
// No operation starts a match inside a character or cuts one in half; a byte that is no UTF-8 counts
// as a character of its own.
#include "runtime/types.hpp"
#include "runtime/utf.hpp"

namespace qiwa {

int length(std::string_view text);
Text left(std::string_view text, int n);
Text right(std::string_view text, int n);
Text middle(std::string_view text, int start, int count);
int find(std::string_view text, std::string_view sought, int start = 1, bool ignore_case = false);
Text replace(std::string_view text, std::string_view sought, std::string_view replacement, bool case_sensitive,
             int start = 1, int count = -1);
TextArray split(std::string_view text, std::string_view separator = ",", int max_pieces = -1);
Text trim(std::string_view text);
Text remove_spaces(std::string_view text);
Text upper_case(std::string_view text);
int character_code(std::string_view text, int position = 1);
int to_integer(std::string_view text);
Text to_text(long long value);
// The number with leading zeros to at least `digits` digits: "07" (no printf family, which the exe need not carry).
Text to_text(long long value, std::size_t digits);
Text to_text(const Bytes& bytes);
Bytes to_bytes(std::string_view text);
Text spaces(int n);

// Byte-set operations: byte-exact, never character-aware.
Bytes bytes_left(const Bytes& b, int n);
Bytes bytes_middle(const Bytes& b, int start, int count);
Bytes bytes_replace(const Bytes& b, const Bytes& sought, const Bytes& replacement = {}, int start = 1,
                    int count = -1);
Bytes zero_filled(int n);

}  // namespace qiwa
