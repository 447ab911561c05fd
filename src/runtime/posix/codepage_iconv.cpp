// Code page conversion for the host build, through iconv's CP936.
#include <iconv.h>

#include <cerrno>

#include "runtime/codepage.hpp"

namespace qiwa {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one unit; returns bytes consumed or 0 when the input unit cannot be mapped.
  std::size_t step(const char* in, std::size_t in_size, std::string& out) {
    char buffer[16];
    char* src = const_cast<char*>(in);
    char* dst = buffer;
    std::size_t src_left = in_size, dst_left = sizeof buffer;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) return 0;
    out.append(buffer, dst);
    return in_size - src_left;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::u16string gbk_to_utf16(std::string_view gbk) {
  Converter cv("UTF-16LE", "CP936");
  std::u16string out;
  std::string unit;
  for (std::size_t i = 0; i < gbk.size();) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    std::size_t n = (c >= 0x80 && i + 1 < gbk.size()) ? 2 : 1;
    if (c == 0x80) n = 1;  // the euro sign is a single byte in code page 936
    unit.clear();
    if (cv.ok() && cv.step(gbk.data() + i, n, unit) == n && unit.size() >= 2) {
      for (std::size_t k = 0; k + 1 < unit.size(); k += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(unit[k]) |
                                            static_cast<unsigned char>(unit[k + 1]) << 8));
    } else {
      out.push_back(u'?');
    }
    i += n;
  }
  return out;
}

Text utf16_to_gbk(std::u16string_view utf16) {
  Converter cv("CP936", "UTF-16LE");
  Text out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char16_t u = utf16[i];
    if (u == 0) break;
    std::size_t units = (u >= 0xD800 && u < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
                         utf16[i + 1] < 0xE000)
                            ? 2
                            : 1;
    char in[4];
    for (std::size_t k = 0; k < units; ++k) {
      in[2 * k] = static_cast<char>(utf16[i + k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(utf16[i + k] >> 8);
    }
    std::string unit;
    if (!cv.ok() || cv.step(in, 2 * units, unit) != 2 * units || unit.empty()) unit = "?";
    out += unit;
    i += units - 1;
  }
  return out;
}

}  // namespace qiwa
