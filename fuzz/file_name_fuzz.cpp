// Song file names from hostile titles: a name of its own inside the run directory, never a separator,
// a wildcard or a device name, always well-formed UTF-8 within the length limit, the numbered names of
// copies ("晴天 (2).mp3") included.
#include <cstdlib>
#include <string>

#include "music/file_name.hpp"
#include "runtime/utf.hpp"

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

// The name part of a path in C:\run, without ".mp3"; aborts when the path leaves the folder.
std::string name_in_run(const std::string& path) {
  if (path.compare(0, 7, "C:\\run\\") != 0 || path.find('\\', 7) != std::string::npos) std::abort();
  if (path.size() < 11 || path.compare(path.size() - 4, 4, ".mp3") != 0) std::abort();
  return path.substr(7, path.size() - 11);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const unsigned n = size > 0 ? data[0] % 12 + (data[0] > 200 ? 990 : 1) : 1;  // 1..12, and up to 1001
  std::string title(reinterpret_cast<const char*>(data), size);
  const std::string numbered = name_in_run(qiwa::song_file_path("C:\\run", title, n));
  if (!qiwa::is_valid_utf8(numbered) || numbered.size() > qiwa::kMaxFileNameBytes) std::abort();
  if (n > 1 && !numbered.ends_with(" (" + std::to_string(n) + ")")) std::abort();
  if (n > 1 && numbered == name_in_run(qiwa::song_file_path("C:\\run", title, n - 1))) std::abort();
  std::string name = qiwa::safe_file_name(title);
  if (name.empty() || name.size() > qiwa::kMaxFileNameBytes || !qiwa::is_valid_utf8(name)) std::abort();
  if (name == "." || name == ".." || name.back() == '.' || name.back() == ' ' || name.front() == ' ') std::abort();
  if (reserved(name)) std::abort();
  // UTF-8 holds ASCII bytes only as themselves, so a byte check is a character check.
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
      std::abort();
  // No byte of the path lies outside the run directory: one separator, right after it.
  std::string path = qiwa::song_file_path("C:\\run", title);
  if (path.compare(0, 7, "C:\\run\\") != 0 || path.find('\\', 7) != std::string::npos) std::abort();
  if (path.compare(path.size() - 4, 4, ".mp3") != 0) std::abort();
  return 0;
}
