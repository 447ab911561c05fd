// find, replace and split over arbitrary GBK bytes: no match may start on a trail byte.
#include <cstdlib>

#include "fuzz/input.hpp"
#include "runtime/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qiwa::fuzz::Input in(data, size);
  std::string text = in.piece(), sought = in.piece(), repl = in.rest();
  int at = qiwa::find(text, sought, in.number() % 8);
  if (at > 0 && !sought.empty()) {
    if (text.compare(at - 1, sought.size(), sought) != 0) std::abort();
    // The match starts on a character boundary.
    std::size_t i = 0;
    while (i < static_cast<std::size_t>(at - 1)) i += qiwa::char_size(text, i);
    if (i != static_cast<std::size_t>(at - 1)) std::abort();
  }
  std::string replaced = qiwa::replace(text, sought, repl, true);
  if (sought.empty() && replaced != text) std::abort();
  auto pieces = qiwa::split(text, sought.empty() ? std::string(",") : sought);
  std::size_t total = 0;
  for (const auto& p : pieces) total += p.size();
  if (total > text.size()) std::abort();
  (void)qiwa::trim(text);
  (void)qiwa::to_integer(text);
  (void)qiwa::middle(text, in.number(), in.number());
  return 0;
}
