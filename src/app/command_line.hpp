#pragma once
// The program's command line. `--service HOST[:PORT]` names the music service for this run only (tests
// that run side by side each give their own); without it the settings' address stays. Other arguments
// are left alone, as they always were.
#include "runtime/types.hpp"

namespace qiwa {

struct CommandLine {
  Text service_host;
  Text error;  // what was wrong with the line, for the user; empty when it was understood
};

// `args` without the program's own name.
CommandLine parse_command_line(const TextArray& args, Text default_host);

}  // namespace qiwa
