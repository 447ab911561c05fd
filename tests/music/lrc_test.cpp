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

// What the tag keeps comes back as the box showed it: the same lines, each cue on its line, a line sung
// twice and two lines of one text each found where they are; other programs' tags with only one frame.
TEST(Lrc, TheTagsLyricsAreTheLyricsBoxsAgain) {
  const Lyrics lyrics = read_lyrics(
      "[00:00.00]晴天\n[00:01.00]副歌\n[00:02.00]中间\n[00:03.00]副歌\n[00:04.00][00:06.00]尾声\n[00:05.00]\n");
  SongTag tag;
  tag.lyrics = lyrics.lines;
  tag.timed_lyrics = timed_lines(lyrics);
  const Lyrics back = lyrics_of_tag(tag);
  EXPECT_EQ(back.lines, lyrics.lines);
  std::vector<std::pair<std::int64_t, int>> cues, want;
  for (const LyricCue& c : back.cues) cues.emplace_back(c.ms, c.line);
  for (const LyricCue& c : lyrics.cues) want.emplace_back(c.ms, c.line);
  EXPECT_EQ(cues, want);

  tag.lyrics.clear();  // timed lines only
  const Lyrics timed_only = lyrics_of_tag(tag);
  EXPECT_EQ(timed_only.lines, "晴天\r\n副歌\r\n中间\r\n副歌\r\n尾声\r\n\r\n尾声\r\n");
  EXPECT_EQ(timed_only.cues.size(), 7u);
  tag.lyrics = "未标时间\r\n";
  tag.timed_lyrics = {{1000, "别处的一句"}};  // a time for no line of the text is dropped
  EXPECT_EQ(lyrics_of_tag(tag).lines, "未标时间\r\n");
  EXPECT_TRUE(lyrics_of_tag(tag).cues.empty());
  EXPECT_TRUE(lyrics_of_tag(SongTag{}).lines.empty());
}

}  // namespace
}  // namespace qiwa
