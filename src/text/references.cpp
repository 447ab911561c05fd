#include "text/references.hpp"

#include <array>
#include <optional>

#include "runtime/utf.hpp"

namespace qiwa {
namespace {

struct Named {
  std::string_view name;
  char32_t code;
};
constexpr std::array<Named, 6> kNamed{{
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0},
}};

constexpr std::size_t kLongestReference = 10;  // "&#x10FFFF;"

// The character a numeric reference's digits (after "#") name; none for digits that name no character.
std::optional<char32_t> numeric(std::string_view digits) {
  const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
  if (hex) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 7) return std::nullopt;
  char32_t value = 0;
  for (char c : digits) {
    int d = c >= '0' && c <= '9' ? c - '0' : !hex ? -1 : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                   : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
  }
  const bool control = (value < 0x20 && value != '\t') || value == 0x7F;  // a line break would split a line
  if (control || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return std::nullopt;
  return value;
}

// The character of the reference that `body` (between "&" and ";") spells, if it is one.
std::optional<char32_t> referenced(std::string_view body) {
  if (!body.empty() && body[0] == '#') return numeric(body.substr(1));
  for (const Named& n : kNamed)
    if (n.name == body) return n.code;
  return std::nullopt;
}

}  // namespace

Text decode_character_references(std::string_view text) {
  Text out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
    const std::size_t semicolon = text.substr(amp, kLongestReference).find(';');
    if (semicolon == std::string_view::npos) continue;
    const std::optional<char32_t> c = referenced(text.substr(amp + 1, semicolon - 1));
    if (!c) continue;
    out.append(text.substr(from, amp - from));
    append_utf8(out, *c);
    from = amp + semicolon + 1;
    amp = from - 1;
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace qiwa
