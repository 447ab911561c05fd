#include "music/file_name.hpp"

#include <cstdint>

#include "runtime/text.hpp"
#include "runtime/utf.hpp"

namespace qiwa {
namespace {

constexpr std::size_t kHashDigits = 8;
constexpr std::size_t kHashSuffixBytes = 1 + kHashDigits;  // "~" and the digits

bool forbidden(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  for (char f : std::string_view("\\/:*?\"<>|"))
    if (c == static_cast<unsigned char>(f)) return true;
  return false;
}

// Forbidden ASCII characters and bytes that are no UTF-8 become "_". A UTF-8 character never holds an
// ASCII byte, so every other character is copied whole.
Text replace_forbidden(std::string_view title) {
  Text out;
  for (std::size_t i = 0; i < title.size();) {
    std::size_t n = utf8_length_at(title, i);
    if (n == 0 || (n == 1 && forbidden(static_cast<unsigned char>(title[i])))) {
      out += '_';
      i += 1;
    } else {
      out.append(title.substr(i, n));
      i += n;
    }
  }
  return out;
}

// The longest start of s of at most max bytes that ends between characters.
Text cut_to(std::string_view s, std::size_t max) { return left(s, static_cast<int>(max)); }

// Windows drops trailing spaces and dots itself, so "a. " and "a" would be one file.
Text strip_edges(Text s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == Text::npos) return {};
  s.erase(0, first);
  while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
  return s;
}

bool is_device_name(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  Text upper = upper_case(base);
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (upper == d) return true;
  if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")))
    return upper[3] >= '1' && upper[3] <= '9';
  return false;
}

// FNV-1a of the whole title: two titles cut to the same start still get names of their own.
Text short_hash(std::string_view title) {
  std::uint32_t h = 2166136261u;
  for (char c : title) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  static const char kDigits[] = "0123456789abcdef";
  Text out(kHashDigits, '0');
  for (std::size_t i = kHashDigits; i-- > 0; h >>= 4) out[i] = kDigits[h & 15];
  return out;
}

// The safe name within `max` bytes.
Text safe_name(std::string_view title, std::size_t max) {
  Text name = strip_edges(replace_forbidden(title));
  if (is_device_name(name)) name = "_" + name;
  if (name.size() > max) name = strip_edges(cut_to(name, max - kHashSuffixBytes)) + "~" + short_hash(title);
  return name.empty() ? Text("_") : name;
}

}  // namespace

Text safe_file_name(std::string_view title) {
  return safe_name(title, kMaxFileNameBytes);
}

Text song_file_path(std::string_view directory, std::string_view title) {
  return song_file_path(directory, title, 1);
}

Text song_file_path(std::string_view directory, std::string_view title, unsigned n) {
  const Text number = n > 1 ? " (" + to_text(static_cast<long long>(n)) + ")" : Text();
  Text path(directory);
  path += '\\';
  path += safe_name(title, kMaxFileNameBytes - number.size());
  path += number;
  path += ".mp3";
  return path;
}

}  // namespace qiwa
