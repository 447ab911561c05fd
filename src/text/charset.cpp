// UTF-16 <-> GBK for the decoders. Service answers are almost all ASCII, which GBK and UTF-16 share,
// so only the runs of other characters go through the code page service.
#include "text/charset.hpp"

#include "runtime/codepage.hpp"

namespace qiwa {

std::u16string text_to_utf16(std::string_view gbk) {
  std::u16string out;
  out.reserve(gbk.size());
  std::size_t i = 0;
  while (i < gbk.size()) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    // A run of double-byte characters; a lead byte takes the next byte with it, whatever it is.
    std::size_t start = i;
    while (i < gbk.size() && static_cast<unsigned char>(gbk[i]) >= 0x80) i += i + 1 < gbk.size() ? 2 : 1;
    out += gbk_to_utf16(gbk.substr(start, i - start));
  }
  return out;
}

Text utf16_to_text(std::u16string_view utf16) {
  utf16 = utf16.substr(0, utf16.find(u'\0'));
  Text out;
  out.reserve(utf16.size() + utf16.size() / 2);
  std::size_t i = 0;
  while (i < utf16.size()) {
    if (utf16[i] < 0x80) {
      out.push_back(static_cast<char>(utf16[i++]));
      continue;
    }
    std::size_t start = i;
    while (i < utf16.size() && utf16[i] >= 0x80) ++i;
    out += utf16_to_gbk(utf16.substr(start, i - start));
  }
  return out;
}

Text decode_utf16_bytes(const Bytes& bytes) {
  std::size_t start = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
  std::u16string units;
  units.reserve((bytes.size() - start) / 2);
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    char16_t u = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (u == 0) break;
    units.push_back(u);
  }
  return utf16_to_text(units);
}

}  // namespace qiwa
