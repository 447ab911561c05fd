// UTF-8 <-> GBK through UTF-16; portable over the backend's GBK <-> UTF-16 service.
#include "runtime/codepage.hpp"

namespace qiwa {

std::string gbk_to_utf8(std::string_view gbk) {
  std::u16string u = gbk_to_utf16(gbk);
  std::string out;
  for (std::size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Text utf8_to_gbk(std::string_view utf8) {
  std::u16string u;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    bool valid = n != 0 && i + n <= utf8.size();
    for (std::size_t k = 1; valid && k < n; ++k) {
      unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      valid = (t & 0xC0) == 0x80;
      c = c << 6 | (t & 0x3F);
    }
    if (!valid) {
      u.push_back(u'?');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      u.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      u.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      u.push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return utf16_to_gbk(u);
}

}  // namespace qiwa
