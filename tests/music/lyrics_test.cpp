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

TEST(LyricValue, TheTranslationIsItsOwnKey) {
  EXPECT_EQ(translation_value(R"(cb({"lyric":"[00:01.00]a","tlyric":"[00:01.00]x"}))"), "[00:01.00]x");
  EXPECT_EQ(translation_value(R"(cb({"tlyric":"","lyric":"[00:01.00]a"}))"), "");
  EXPECT_EQ(translation_value(R"(cb({"lyric":"tlyric"}))"), "");
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

// The times of each form of tag, several tags on one line, lines out of order, an untagged line (shown,
// never current), metadata lines (no line of their own).
TEST(LyricCues, EveryTagFormGivesItsLinesTime) {
  const Lyrics l = read_lyrics(
      "[ti:t]\n[00:05]five\n[00:01.5]tenths\n[00:02.25]hundredths\n[00:03.125]ms\n[01:04:50]colon\n"
      "untagged\n[00:10.00][00:00.50]twice\n[1:2:3:4]odd tag\n");
  EXPECT_EQ(l.lines, "five\r\ntenths\r\nhundredths\r\nms\r\ncolon\r\nuntagged\r\ntwice\r\nodd tag\r\n");
  std::vector<std::pair<std::int64_t, int>> got;
  for (const LyricCue& c : l.cues) got.emplace_back(c.ms, c.line);
  EXPECT_EQ(got, (std::vector<std::pair<std::int64_t, int>>{
                     {500, 6}, {1500, 1}, {2250, 2}, {3125, 3}, {5000, 0}, {10000, 6}, {64500, 4}}));
}

TEST(LyricCues, TheCurrentLineFollowsTimeAndOffset) {
  const Lyrics l = read_lyrics("[00:01.00]a\n[00:02.00]b\n[00:02.00]c\n[00:03.00]d\n");
  EXPECT_EQ(current_line(l.cues, 0), -1);
  EXPECT_EQ(current_line(l.cues, 999), -1);
  EXPECT_EQ(current_line(l.cues, 1000), 0);
  EXPECT_EQ(current_line(l.cues, 2500), 2);  // two lines at one time: the later one of the text
  EXPECT_EQ(current_line(l.cues, 99999), 3);
  // A positive offset brings every line sooner, wherever the tag stands; a negative one later.
  const Lyrics sooner = read_lyrics("[00:01.00]a\n[00:02.00]b\n[offset:+500]\n");
  EXPECT_EQ(current_line(sooner.cues, 1500), 1);
  EXPECT_EQ(current_line(sooner.cues, 400), -1);
  EXPECT_EQ(current_line(sooner.cues, 500), 0);
  const Lyrics later = read_lyrics("[offset:-1000]\n[00:00.00]a\n");
  EXPECT_EQ(current_line(later.cues, 999), -1);
  EXPECT_EQ(current_line(later.cues, 1000), 0);
  const Lyrics early = read_lyrics("[offset:5000]\n[00:01.00]a\n");  // never before the song's start
  EXPECT_EQ(current_line(early.cues, 0), 0);
  EXPECT_TRUE(read_lyrics("no tags\nat all").cues.empty());
  EXPECT_EQ(current_line({}, 5000), -1);
}

}  // namespace
}  // namespace qiwa
