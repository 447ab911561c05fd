// Code page conversion through the Windows API, always code page 936 whatever the system locale.
#include <windows.h>

#include "runtime/codepage.hpp"

namespace qiwa {

std::u16string gbk_to_utf16(std::string_view gbk) {
  if (gbk.empty()) return {};
  int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), reinterpret_cast<wchar_t*>(out.data()),
                      n);
  return out;
}

Text utf16_to_gbk(std::u16string_view utf16) {
  std::size_t end = utf16.find(u'\0');
  if (end != std::u16string_view::npos) utf16 = utf16.substr(0, end);
  if (utf16.empty()) return {};
  // Code page 936 has nothing outside the BMP: a surrogate pair is one unmappable character.
  std::u16string units;
  units.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char16_t u = utf16[i];
    bool pair = u >= 0xD800 && u < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000;
    units.push_back(u >= 0xD800 && u < 0xE000 ? u'?' : u);
    if (pair) ++i;
  }
  auto src = reinterpret_cast<const wchar_t*>(units.data());
  int len = static_cast<int>(units.size());
  int n = WideCharToMultiByte(936, 0, src, len, nullptr, 0, "?", nullptr);
  if (n <= 0) return {};
  Text out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(936, 0, src, len, out.data(), n, "?", nullptr);
  return out;
}

}  // namespace qiwa
