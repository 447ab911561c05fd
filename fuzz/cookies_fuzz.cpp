// Cookie extraction and merging: no deletion survives, no item repeats.
#include <cstdlib>
#include <set>

#include "fuzz/input.hpp"
#include "http/cookies.hpp"
#include "runtime/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qiwa::fuzz::Input in(data, size);
  std::string old_cookies = in.piece(), headers = in.rest();
  std::string received = qiwa::extract_cookies(headers);
  std::string merged = qiwa::merge_cookie_text(old_cookies, received);
  if (merged != old_cookies) std::abort();
  std::set<std::string> seen;
  if (!merged.empty())
    for (const auto& item : qiwa::split(merged, "; ")) {
      if (item.size() >= 8 && item.compare(item.size() - 8, 8, "=deleted") == 0) std::abort();
      if (!seen.insert(item).second) std::abort();
    }
  return 0;
}
