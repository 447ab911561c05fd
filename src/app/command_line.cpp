#include "app/command_line.hpp"

#include "app/host.hpp"

namespace qiwa {

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
