#pragma once
// GBK <-> UTF-16 conversion (code page 936). Characters GBK lacks become "?".
#include <string>

#include "runtime/types.hpp"

namespace qiwa {

std::u16string gbk_to_utf16(std::string_view gbk);
// Stops at the first U+0000.
Text utf16_to_gbk(std::u16string_view utf16);

std::string gbk_to_utf8(std::string_view gbk);
Text utf8_to_gbk(std::string_view utf8);

}  // namespace qiwa
