#include "app/command_line.hpp"

#include <algorithm>

namespace qiwa {

namespace {

bool host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// A name or IPv4 address, or a bracketed IPv6 one, then an optional port of 1 to 65535.
bool valid_host(std::string_view value) {
  std::string_view name = value, port;
  if (value.starts_with('[')) {
    const auto close = value.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    name = value.substr(1, close - 1);
    const std::string_view inner = name;
    if (!std::all_of(inner.begin(), inner.end(), [](char c) { return c == ':' || c == '.' || host_char(c); }))
      return false;
    const std::string_view rest = value.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    port = rest.empty() ? rest : rest.substr(1);
    if (!rest.empty() && port.empty()) return false;
  } else {
    const auto colon = value.find(':');
    name = value.substr(0, colon);
    if (colon != std::string_view::npos) {
      port = value.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (name.empty() || !std::all_of(name.begin(), name.end(), host_char)) return false;
  }
  if (port.empty()) return true;
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int number = std::stoi(Text(port));
  return number >= 1 && number <= 65535;
}

}  // namespace

CommandLine parse_command_line(const TextArray& args, Text default_host) {
  CommandLine line{std::move(default_host), {}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--service") continue;
    if (i + 1 >= args.size() || !valid_host(args[i + 1])) {
      line.error = "--service needs HOST[:PORT], such as 127.0.0.1:8765; got " +
                   (i + 1 < args.size() ? "\"" + args[i + 1] + "\"" : Text("nothing"));
      return line;
    }
    line.service_host = args[++i];
  }
  return line;
}

}  // namespace qiwa
