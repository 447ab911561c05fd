#include "app/command_line.hpp"

#include <gtest/gtest.h>

namespace qiwa {
namespace {

const Text kBuiltIn = "127.0.0.1:8765";

TEST(CommandLine, TheServiceOptionNamesTheHostAndOtherArgumentsAreLeftAlone) {
  EXPECT_EQ(parse_command_line({}, kBuiltIn).service_host, kBuiltIn);
  EXPECT_EQ(parse_command_line({"song.mp3", "/x"}, kBuiltIn).service_host, kBuiltIn);
  for (const Text host : {"127.0.0.1:18901", "music.example", "a-b.example:80", "[::1]:8080", "[fe80::1]"}) {
    const CommandLine line = parse_command_line({"--other", "--service", host}, kBuiltIn);
    EXPECT_EQ(line.service_host, host);
    EXPECT_EQ(line.error, "") << host;
  }
  EXPECT_EQ(parse_command_line({"--service", "a:1", "--service", "b:2"}, kBuiltIn).service_host, "b:2");
}

TEST(CommandLine, AMissingOrMalformedHostIsAnErrorThatSaysWhat) {
  const CommandLine missing = parse_command_line({"--service"}, kBuiltIn);
  EXPECT_EQ(missing.error, "--service needs HOST[:PORT], such as 127.0.0.1:8765; got nothing");
  EXPECT_EQ(missing.service_host, kBuiltIn);
  // Each would make another address than the one meant, or none at all.
  for (const Text bad : {"", ":80", "host:", "host:0", "host:65536", "host:123456", "host:8o", "a/b:1", "a b",
                         "user@host", "[::1", "[]:1", "[::1]x", "[::1]:", "http://h", "h:1:2", "主机:80"}) {
    const CommandLine line = parse_command_line({"--service", bad}, kBuiltIn);
    EXPECT_NE(line.error.find("--service needs HOST[:PORT]"), Text::npos) << bad;
    EXPECT_NE(line.error.find("\"" + bad + "\""), Text::npos) << bad;
  }
}

}  // namespace
}  // namespace qiwa
