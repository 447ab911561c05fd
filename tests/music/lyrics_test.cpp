#include <gtest/gtest.h>

#include "music/lyrics.hpp"

namespace qiwa {
namespace {

TEST(LyricValue, OnlyTheLyricStringIsRead) {
  EXPECT_EQ(lyric_value(R"(cb({"lyric":"[00:01.00]a\n[00:02.00]b","tlyric":"[00:01.00]x"}))"),
            R"([00:01.00]a\n[00:02.00]b)");
  EXPECT_EQ(lyric_value(R"(cb({"tlyric":"[00:01.00]x","lyric":"say \"hi\" \\"}))"), R"(say \"hi\" \\)");
  EXPECT_EQ(lyric_value(R"(cb({"tlyric":"[00:01.00]x"}))"), "");
  EXPECT_EQ(lyric_value(R"(cb({"lyric":"","tlyric":"y"}))"), "");
  EXPECT_EQ(lyric_value(R"(cb({"a":"\"lyric\":\"fake","lyric":"real"}))"), "real");
  EXPECT_EQ(lyric_value(R"(cb({"lyric":"cut off)"), "");
  EXPECT_EQ(lyric_value("<html>500</html>"), "");
}

TEST(LyricLines, EveryLineWithoutItsTagsEachEndedByCrLf) {
  Text lyric = "[ti:晴天]\n[ar:周杰伦]\n[al:叶惠美]\n[by:x]\n[offset:500]\n"
               "[00:00.00]晴天\n[00:01.00][00:03.50]chorus\n[00:02.80]\n[00:04.00]last line";
  EXPECT_EQ(lyric_lines(lyric), "晴天\r\nchorus\r\n\r\nlast line\r\n");
}

TEST(LyricLines, NoBareLineFeedIsLeft) {
  Text out = lyric_lines("[00:01.00]a\r\n[00:02.00]b\rc\n\nd\n");
  EXPECT_EQ(out, "a\r\nb\r\nc\r\n\r\nd\r\n");
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n') {
      EXPECT_EQ(out[i - 1], '\r');
    }
  }
}

TEST(LyricLines, BracketsThatAreNoTagsStay) {
  EXPECT_EQ(lyric_lines("plain words"), "plain words\r\n");
  EXPECT_EQ(lyric_lines("[00:01.00][chorus] la [x]"), "[chorus] la [x]\r\n");
  EXPECT_EQ(lyric_lines("[00:01.00]乚乕[00:02]"), "乚乕[00:02]\r\n");
  EXPECT_EQ(lyric_lines("[乚]"), "[乚]\r\n");
  EXPECT_EQ(lyric_lines("[01:02:03]colon form"), "colon form\r\n");
  EXPECT_EQ(lyric_lines(""), "");
  EXPECT_EQ(lyric_lines("[ti:only metadata]"), "");
}

TEST(LyricLines, CharacterReferencesInTheWordsAreRead) {
  EXPECT_EQ(lyric_lines("[00:01.00]It&apos;s &quot;us&quot; &amp; &#x4F60;\n[00:02.00]&#91;00:03.00&#93; &copy;"),
            "It's \"us\" & 你\r\n[00:03.00] &copy;\r\n");
}

}  // namespace
}  // namespace qiwa
