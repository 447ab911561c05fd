#include "app/host.hpp"

#include <algorithm>
#include <charconv>

namespace qiwa {
namespace {

bool valid_port(std::string_view port) {
  int n = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), n);
  return error == std::errc() && end == port.data() + port.size() && n >= 1 && n <= 65535;
}

bool name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

}  // namespace

bool valid_host(std::string_view host) {
  std::string_view name = host;
  const std::size_t bracket = host.rfind(']');
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    if (!valid_port(host.substr(colon + 1))) return false;
    name = host.substr(0, colon);
  }
  if (name.empty() || name.size() > 253) return false;
  if (name.front() == '[') {
    const std::string_view inner = name.substr(1, name.size() - 1);
    return name.size() > 3 && name.back() == ']' &&
           std::all_of(inner.begin(), inner.end() - 1, [](char c) { return c == ':' || name_char(c); });
  }
  return std::all_of(name.begin(), name.end(), name_char);
}

}  // namespace qiwa
