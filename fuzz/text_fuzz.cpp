// find, replace, split and the cuts over arbitrary bytes: no match starts inside a character, and
// well-formed UTF-8 in gives well-formed UTF-8 out (no character cut in half).
#include <cstdlib>

#include "fuzz/input.hpp"
#include "runtime/text.hpp"
#include "runtime/utf.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qiwa::fuzz::Input in(data, size);
  std::string text = in.piece(), sought = in.piece(), repl = in.rest();
  int at = qiwa::find(text, sought, in.number() % 8);
  if (at > 0 && !sought.empty()) {
    check(text.compare(at - 1, sought.size(), sought) == 0);
    check(qiwa::is_char_start(text, static_cast<std::size_t>(at - 1)));
  }
  std::string replaced = qiwa::replace(text, sought, repl, true);
  check(!sought.empty() || replaced == text);
  auto pieces = qiwa::split(text, sought.empty() ? std::string(",") : sought);
  std::size_t total = 0;
  for (const auto& p : pieces) total += p.size();
  check(total <= text.size());
  int a = in.number(), b = in.number();
  const std::string cuts[] = {qiwa::trim(text), qiwa::middle(text, a, b), qiwa::left(text, a), qiwa::right(text, b)};
  (void)qiwa::to_integer(text);
  if (qiwa::is_valid_utf8(text) && qiwa::is_valid_utf8(sought) && qiwa::is_valid_utf8(repl)) {
    check(qiwa::is_valid_utf8(replaced));
    for (const auto& p : pieces) check(qiwa::is_valid_utf8(p));
    for (const auto& c : cuts) check(qiwa::is_valid_utf8(c));
  }
  return 0;
}
