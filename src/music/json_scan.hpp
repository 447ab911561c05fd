#pragma once
// A small scanner over service answers as sent (escapes still in them). It only tells strings from
// structure; values are read with the callers' markers.
#include <span>
#include <vector>

#include "runtime/types.hpp"

namespace qiwa {

// The objects ("{" to "}") of the answer's top-level array, in order. None unless the answer, after
// an optional JSONP callback name and "(", is an array; an object cut off by the answer's end is left out.
std::vector<std::string_view> json_array_objects(std::string_view answer);

// The raw content of the first string that follows the string "key" and a colon, outside any
// other string; empty when there is none.
Text json_string_after_key(std::string_view text, std::string_view key);

// The first value of "key" as the answer writes it: a string's raw content (escapes still in it), or a
// number's (or true's, false's) characters; empty for null, for an object or array, and when there is none.
Text json_scalar_after_key(std::string_view text, std::string_view key);

// json_scalar_after_key for up to 64 keys in one pass: values[k] for keys[k], as views into text.
void json_scalars_after_keys(std::string_view text, std::span<const std::string_view> keys,
                             std::span<std::string_view> values);

// Index just past the string whose opening quote is at `quote`, or npos when it never closes.
std::size_t json_string_end(std::string_view text, std::size_t quote);

}  // namespace qiwa
