#pragma once
// HTML character references, as some services leave them in lyrics.
#include "runtime/types.hpp"

namespace qiwa {

// &amp; &lt; &gt; &quot; &apos; &nbsp; and numeric references (&#39; &#x4F60;) become their characters;
// anything else that looks like a reference (an unknown name, no ";", a number that names no character or a
// control character such as a line break) stays as it is. Each reference is read once: "&amp;lt;" gives
// "&lt;".
Text decode_character_references(std::string_view text);

}  // namespace qiwa
