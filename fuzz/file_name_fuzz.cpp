// Song file names from hostile titles: never a separator, never a wildcard, never a device name.
#include <cstdlib>
#include <string>

#include "music/file_name.hpp"
#include "runtime/text.hpp"

namespace {

bool reserved(std::string stem) {
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  std::size_t dot = stem.find('.');
  if (dot != std::string::npos) stem.resize(dot);
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string title(reinterpret_cast<const char*>(data), size);
  std::string name = qiwa::safe_file_name(title);
  if (name.empty() || name.size() > qiwa::kMaxFileNameBytes) std::abort();
  if (name == "." || name == ".." || name.back() == '.' || name.back() == ' ' || name.front() == ' ') std::abort();
  if (reserved(name)) std::abort();
  for (std::size_t i = 0; i < name.size(); i += qiwa::char_size(name, i)) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (qiwa::char_size(name, i) == 2) continue;  // a GBK pair: its trail byte may be any value
    if (c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
      std::abort();
  }
  std::string path = qiwa::song_file_path("C:\\run", title);
  if (path.compare(0, 7, "C:\\run\\") != 0 || path.find('\\', 7) != std::string::npos) {
    // A trail byte 0x5C inside a GBK pair is no separator; check character-wise.
    for (std::size_t i = 7; i < path.size(); i += qiwa::char_size(path, i))
      if (path[i] == '\\' && qiwa::char_size(path, i) == 1) std::abort();
  }
  return 0;
}
