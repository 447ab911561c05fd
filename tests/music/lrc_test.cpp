// The lyrics as timed lines for the tag and as a ".lrc" file.
#include "music/lrc.hpp"

#include <gtest/gtest.h>

namespace qiwa {
namespace {

TEST(Lrc, EachCueIsALineWithItsTimeInTimeOrder) {
  const Lyrics lyrics =
      read_lyrics("[ti:晴天]\n[00:29.26]故事的小黄花\n[01:02.5][00:00.00]从出生那年就飘着\n");
  EXPECT_EQ(timed_lines(lyrics),
            (std::vector<TimedText>{
                {0, "从出生那年就飘着"}, {29260, "故事的小黄花"}, {62500, "从出生那年就飘着"}}));
  EXPECT_EQ(
      lrc_text(lyrics),
      "\xEF\xBB\xBF[00:00.00]从出生那年就飘着\r\n[00:29.26]故事的小黄花\r\n[01:02.50]从出生那年就飘着\r\n");
}

TEST(Lrc, TimesPastAnHourEarlyCuesAndUntimedLyrics) {
  Lyrics lyrics{"a\r\nb\r\n",
                {{-500, 0}, {6000 * 1000 + 999, 1}, {5, 7}}};  // before the start, 100 min, no line
  EXPECT_EQ(lrc_text(lyrics), "\xEF\xBB\xBF[00:00.00]a\r\n[100:00.99]b\r\n");
  EXPECT_EQ(lrc_text(Lyrics{"only text\r\nno times\r\n", {}}), "\xEF\xBB\xBFonly text\r\nno times\r\n");
  EXPECT_EQ(lrc_text(Lyrics{}), "");
  EXPECT_TRUE(timed_lines(Lyrics{}).empty());
}

}  // namespace
}  // namespace qiwa
