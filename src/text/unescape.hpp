#pragma once
// Decoding of the escapes in a service answer: JavaScript string-literal escapes, then
// unescape()'s %uHHHH and %HH, into GBK text.
#include <string_view>

#include "runtime/types.hpp"

namespace qiwa {

// Never fails. CR LF pairs, raw line breaks and a trailing lone backslash come back as they were;
// an escape that does not parse loses its backslash; the text ends where an escape gives code 0.
Text unescape_text(std::string_view text);

}  // namespace qiwa
