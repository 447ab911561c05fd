#pragma once
// Decoding of the escapes in a service answer: JavaScript string-literal escapes, then
// unescape()'s %uHHHH and %HH, into UTF-8 text.
#include <string_view>

#include "runtime/types.hpp"

namespace qiwa {

// Never fails, and always gives well-formed UTF-8: a byte that is no UTF-8 and a lone surrogate become
// U+FFFD, a surrogate pair one character. CR LF pairs, raw line breaks and a trailing lone backslash come
// back as they were; an escape that does not parse loses its backslash; the text ends where an escape
// gives code 0.
Text unescape_text(std::string_view text);

}  // namespace qiwa
