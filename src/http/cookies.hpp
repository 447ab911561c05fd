#pragma once
// Cookies kept as plain "name=value; name=value" text.
#include "runtime/types.hpp"

namespace qiwa {

// The first name=value of every "Set-Cookie" line, joined by "; ".
Text extract_cookies(std::string_view response_headers);
// Response cookies first, then the sent ones they did not replace; "=deleted" items remove their name.
// Both texts lose their spaces; old_cookies is left holding the merged text, which is returned.
Text merge_cookie_text(Text& old_cookies, Text& new_cookies);

}  // namespace qiwa
