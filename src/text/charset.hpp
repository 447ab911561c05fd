#pragma once
// UTF-16 little-endian bytes to the program's text.
#include "runtime/types.hpp"

namespace qiwa {

// UTF-16LE bytes as UTF-8 text: a lone surrogate becomes U+FFFD, the text ends at the first U+0000.
// A leading byte-order mark FF FE is dropped, and so is a trailing odd byte.
Text decode_utf16_bytes(const Bytes& bytes);

}  // namespace qiwa
