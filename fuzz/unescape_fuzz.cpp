// Escape decoding of arbitrary answers: never crashes, always gives well-formed UTF-8, never grows beyond
// the input's size bound.
#include <cstdlib>
#include <string>

#include "runtime/utf.hpp"
#include "text/charset.hpp"
#include "text/unescape.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string out = qiwa::unescape_text(text);
  if (!qiwa::is_valid_utf8(out)) std::abort();
  // A byte that is no UTF-8 becomes U+FFFD (three bytes); nothing else grows.
  if (out.size() > 3 * text.size()) std::abort();
  if (!qiwa::is_valid_utf8(qiwa::decode_utf16_bytes(qiwa::Bytes(data, data + size)))) std::abort();
  return 0;
}
