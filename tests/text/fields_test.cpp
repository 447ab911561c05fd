// Escaped fields of the program's own text files.
#include "text/fields.hpp"

#include <gtest/gtest.h>

#include "runtime/utf.hpp"

namespace qiwa {
namespace {

TEST(Fields, EveryValueComesBackAndNeverBreaksItsLine) {
  Text every_byte;
  for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
  for (const Text& value : {Text("晴天 🎵"), Text("a\tb\nc\r\\"), Text("\\x41"), every_byte, Text("\xE6\x99", 2), Text()}) {
    const Text e = escaped(value);
    EXPECT_TRUE(is_valid_utf8(e)) << e;
    EXPECT_EQ(e.find_first_of(Text("\t\n\r\0", 4)), Text::npos) << e;
    EXPECT_EQ(unescaped(e), value);
  }
  EXPECT_EQ(escaped("晴天\t\\"), "晴天\\t\\\\");
  EXPECT_EQ(escaped(Text("\0\x7f\xff", 3)), "\\x00\\x7F\\xFF");
}

TEST(Fields, MalformedEscapesAreRefused) {
  for (const char* bad : {"\\", "a\\q", "\\x4", "\\xZZ", "raw\ttab", "\x01"}) EXPECT_EQ(unescaped(bad), std::nullopt) << bad;
  EXPECT_EQ(unescaped("\\x4a\\x4A"), "JJ");
}

TEST(Fields, LinesAndTheirEndings) {
  LineReader lines("\xEF\xBB\xBF" "a\r\nb\n\nc");
  std::string_view line;
  bool ended = false;
  std::vector<std::pair<Text, bool>> seen;
  while (lines.next(line, ended)) seen.emplace_back(line, ended);
  EXPECT_EQ(seen, (std::vector<std::pair<Text, bool>>{{"a", true}, {"b", true}, {"", true}, {"c", false}}));
  EXPECT_EQ(split_fields("a\tb\tc\td", 3), (std::vector<std::string_view>{"a", "b", "c\td"}));
  EXPECT_EQ(split_fields("", 3), (std::vector<std::string_view>{""}));
}

}  // namespace
}  // namespace qiwa
