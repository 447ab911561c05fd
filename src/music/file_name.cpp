#include "music/file_name.hpp"

#include "runtime/text.hpp"

namespace qiwa {
namespace {

bool forbidden(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  for (char f : std::string_view("\\/:*?\"<>|"))
    if (c == static_cast<unsigned char>(f)) return true;
  return false;
}

// Forbidden single-byte characters become "_"; a GBK pair is copied whole, so its trail byte (which may
// be "\" or "|") is never touched. A lead byte with no trail byte is replaced too.
Text replace_forbidden(std::string_view title) {
  Text out;
  for (std::size_t i = 0; i < title.size();) {
    std::size_t n = char_size(title, i);
    auto c = static_cast<unsigned char>(title[i]);
    if (n == 2) {
      out.append(title.substr(i, 2));
    } else {
      out += (forbidden(c) || c >= 0x80) ? '_' : static_cast<char>(c);
    }
    i += n;
  }
  return out;
}

// Cuts at a character start so no pair is split.
Text cut_to(std::string_view s, std::size_t max) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = char_size(s, i);
    if (i + n > max) break;
    i += n;
    end = i;
  }
  return Text(s.substr(0, end));
}

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

}  // namespace

Text safe_file_name(std::string_view title) {
  Text name = strip_edges(cut_to(replace_forbidden(title), kMaxFileNameBytes));
  if (name.empty()) return "_";
  // The prefix may push a name at the limit over it; cutting again keeps the prefix.
  if (is_device_name(name)) name = strip_edges(cut_to("_" + name, kMaxFileNameBytes));
  return name;
}

Text song_file_path(std::string_view directory, std::string_view title) {
  Text path(directory);
  path += '\\';
  path += safe_file_name(title);
  path += ".mp3";
  return path;
}

}  // namespace qiwa
