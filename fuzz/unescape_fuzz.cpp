// Escape decoding of arbitrary answers: never crashes, never grows beyond the input's size bound.
#include <cstdlib>
#include <string>

#include "text/charset.hpp"
#include "text/unescape.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string out = qiwa::unescape_text(text);
  // Each input byte yields at most one GBK character (two bytes), CR LF restored as two.
  if (out.size() > 2 * text.size() + 2) std::abort();
  (void)qiwa::decode_utf16_bytes(qiwa::Bytes(data, data + size));
  return 0;
}
