#pragma once
// The one crossing between the program's UTF-8 text and the platform's UTF-16: window texts, list
// cells, titles, message boxes, file paths, URLs and headers all pass here, through CP_UTF8, so what
// the user sees does not depend on the system's ANSI code page.
#include <string>

#include "runtime/types.hpp"

namespace qiwa {

// Bytes that are no UTF-8 become U+FFFD.
std::wstring wide(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
Text narrow(std::wstring_view utf16);

}  // namespace qiwa
