#pragma once
// UTF-16 little-endian bytes to GBK text, and the ASCII-fast conversions the decoders share.
#include <string>
#include <string_view>

#include "runtime/types.hpp"

namespace qiwa {

// UTF-16LE bytes as GBK text: "?" for characters GBK lacks, ends at the first U+0000.
// A leading byte-order mark FF FE is dropped, and so is a trailing odd byte.
Text decode_utf16_bytes(const Bytes& bytes);

// GBK to UTF-16 and back as the code page service does it, but ASCII is copied without a call.
std::u16string text_to_utf16(std::string_view gbk);
// Ends at the first U+0000.
Text utf16_to_text(std::u16string_view utf16);

}  // namespace qiwa
