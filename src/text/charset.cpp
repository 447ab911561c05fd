#include "text/charset.hpp"

#include "runtime/utf.hpp"

namespace qiwa {

Text decode_utf16_bytes(const Bytes& bytes) {
  std::size_t start = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
  std::u16string units;
  units.reserve((bytes.size() - start) / 2);
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    char16_t u = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (u == 0) break;
    units.push_back(u);
  }
  return utf16_to_utf8(units);
}

}  // namespace qiwa
