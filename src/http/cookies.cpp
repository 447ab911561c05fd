#include "http/cookies.hpp"

#include "runtime/text.hpp"
#include "text/extract.hpp"

namespace qiwa {
namespace {

bool is_deletion(std::string_view item) {
  return right(item, 8) == "=deleted";
}

}  // namespace

Text extract_cookies(std::string_view response_headers) {
  Text result;
  for (const Text& line : split(response_headers, "\r\n")) {
    int colon = find(line, ": ");
    if (colon < 0 || left(line, colon - 1) != "Set-Cookie") continue;
    Text cookie = find(line, ";") > 0 ? extract_first_between(line, "Set-Cookie:", ";")
                                      : replace(line, "Set-Cookie:", "", false);
    result += trim(cookie);
    result += "; ";
  }
  return left(result, length(result) - 2);
}

Text merge_cookie_text(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);
  TextArray merged = split(new_cookies, ";");
  for (const Text& item : split(old_cookies, ";"))
    if (!has_item_named(merged, item_name(item))) merged.push_back(item);
  old_cookies.clear();
  for (const Text& item : merged) {
    if (is_deletion(item)) continue;
    old_cookies += item;
    old_cookies += "; ";
  }
  old_cookies = unique_items(left(old_cookies, length(old_cookies) - 2), "; ", true);
  return old_cookies;
}

}  // namespace qiwa
