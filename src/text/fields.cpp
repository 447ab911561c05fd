#include "text/fields.hpp"

#include "runtime/utf.hpp"

namespace qiwa {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void append_escaped(Text& out, std::string_view value) {
  for (std::size_t i = 0; i < value.size();) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      std::size_t n = utf8_length_at(value, i);
      if (n > 0) {
        out.append(value.substr(i, n));
        i += n;
        continue;
      }
    }
    ++i;
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

Text escaped(std::string_view value) {
  Text out;
  out.reserve(value.size());
  append_escaped(out, value);
  return out;
}

bool append_unescaped(Text& out, std::string_view field) {
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == field.size()) return false;
    switch (field[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'x': {
        const int high = i + 1 < field.size() ? hex_value(field[i + 1]) : -1;
        const int low = i + 2 < field.size() ? hex_value(field[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

std::optional<Text> unescaped(std::string_view field) {
  Text out;
  out.reserve(field.size());
  if (!append_unescaped(out, field)) return std::nullopt;
  return out;
}

LineReader::LineReader(std::string_view text) : rest_(text) {
  if (rest_.substr(0, 3) == "\xEF\xBB\xBF") rest_.remove_prefix(3);
}

bool LineReader::next(std::string_view& line, bool& ended) {
  if (rest_.empty()) return false;
  const std::size_t end = rest_.find('\n');
  ended = end != std::string_view::npos;
  line = rest_.substr(0, ended ? end : rest_.size());
  rest_.remove_prefix(ended ? end + 1 : rest_.size());
  if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

std::vector<std::string_view> split_fields(std::string_view line, std::size_t max) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < max) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) break;
    fields.push_back(line.substr(0, tab));
    line.remove_prefix(tab + 1);
  }
  fields.push_back(line);
  return fields;
}

}  // namespace qiwa
