#include <gtest/gtest.h>

#include "text/extract.hpp"

namespace qiwa {
namespace {

TEST(ExtractBetween, LyricLinesNeedAFollowingStart) {
  TextArray lines{"stale"};
  const Text lyric = "[00:01.00]第一行\r\n[00:02.50]第二行";
  EXPECT_EQ(extract_between(lyric, "]", "[", lines), 1);
  EXPECT_EQ(lines, TextArray{"第一行\r\n"});

  const Text three = "[ti:歌]\n[00:01]甲\n[00:02]乙\n[00:03]丙";
  EXPECT_EQ(extract_between(three, "]", "[", lines), 3);
  EXPECT_EQ(lines, (TextArray{"\n", "甲\n", "乙\n"}));
}

TEST(ExtractBetween, NothingFoundEmptiesTheResult) {
  TextArray out{"old"};
  EXPECT_EQ(extract_between("abc", "<", ">", out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(extract_between("a<b", "<", ">", out), 0);
  EXPECT_EQ(extract_between("", "<", ">", out), 0);
}

TEST(ExtractBetween, StartMarkerInsideAPieceBeginsTheNextPiece) {
  TextArray out;
  EXPECT_EQ(extract_between("<a>1<a>2</a>", "<a>", "</a>", out), 2);
  EXPECT_EQ(out, (TextArray{"1<a>2", "2"}));
  EXPECT_EQ(extract_between("\"id\":\"1\",\"id\":\"\",", "\"id\":\"", "\",", out), 2);
  EXPECT_EQ(out, (TextArray{"1", ""}));  // an end right at the start gives an empty piece
}

TEST(ExtractBetween, MarkersNeverMatchInsideACharacter) {
  TextArray out;
  // "\xB3" is the last byte of 音: as a marker it matches only a stray byte of its own.
  EXPECT_EQ(extract_between("音a\xB3" "b音", "\xB3", "\xE9", out), 0);
  EXPECT_EQ(extract_between("]별🎵[", "]", "[", out), 1);
  EXPECT_EQ(out, TextArray{"별🎵"});
}

TEST(ExtractBetween, DecorationLimitAndStartPosition) {
  TextArray out;
  EXPECT_EQ(extract_between("<1><22><333>", "<", ">", out, false, 0, "(", ")", true, true), 3);
  EXPECT_EQ(out, (TextArray{"<(1)>", "<(22)>", "<(333)>"}));
  // Only pieces shorter than the maximum are kept.
  EXPECT_EQ(extract_between("<1><22><333>", "<", ">", out, false, 3), 2);
  EXPECT_EQ(out, (TextArray{"1", "22"}));
  EXPECT_EQ(extract_between("<1><22><333>", "<", ">", out, false, 0, "", "", false, false, 4), 2);
  EXPECT_EQ(out, (TextArray{"22", "333"}));
  EXPECT_EQ(extract_between("<A>x</A>", "<a>", "</A>", out, true), 1);
  EXPECT_EQ(out, TextArray{"x"});
}

TEST(ExtractBetween, EmptyMarkersEnd) {
  TextArray out{"old"};
  EXPECT_EQ(extract_between("abc", "", ">", out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(extract_between("<a<b", "<", "", out), 2);
  EXPECT_EQ(out, (TextArray{"", ""}));
}

TEST(ExtractFirstBetween, QuoteStandInAndOrder) {
  EXPECT_EQ(extract_first_between("{\"url\":\"http://x/a.mp3\",\"br\":1}", "\"url\":\"", "\""),
            "http://x/a.mp3");
  EXPECT_EQ(extract_first_between("{\"url\":\"http://x/a.mp3\",", "#引号url#引号:#引号", "#引号"),
            "http://x/a.mp3");
  EXPECT_EQ(extract_first_between("b]a[", "[", "]"), "");  // the end only occurs before the start
  EXPECT_EQ(extract_first_between("abc", "x", "c"), "");
  EXPECT_EQ(extract_first_between("Set-Cookie: uid=1; path=/", "Set-Cookie:", ";"), " uid=1");
  EXPECT_EQ(extract_first_between("<><b>", "<", ">"), "");
  EXPECT_EQ(extract_first_between("<a><b>", "<", ">", 3), "b");
}

TEST(ItemNames, TrimAndLookUp) {
  EXPECT_EQ(item_name(" uid \u3000= 1"), "uid");
  EXPECT_EQ(item_name("  flag "), "flag");
  EXPECT_EQ(item_name("=v"), "");
  EXPECT_EQ(item_name("a=b=c"), "a");
  const TextArray items{"uid=1", " lang =2", "flag"};
  EXPECT_TRUE(has_item_named(items, "lang"));
  EXPECT_TRUE(has_item_named(items, "flag"));
  EXPECT_FALSE(has_item_named(items, "Uid"));
  EXPECT_FALSE(has_item_named({}, ""));
  EXPECT_EQ(index_in_list(items, "flag"), 3);
  EXPECT_EQ(index_in_list(items, "lang =2"), -1);
  EXPECT_EQ(index_in_list({"", "a"}, ""), 1);
}

TEST(UniqueItems, FirstOccurrenceSurvives) {
  EXPECT_EQ(unique_items("uid=1; lang=2; uid=1", "; ", true), "uid=1; lang=2");
  EXPECT_EQ(unique_items("uid=1; uid=2", "; ", true), "uid=1; uid=2");  // whole items are compared
  EXPECT_EQ(unique_items("a; ; b; ", "; ", true), "a; ; b");
  EXPECT_EQ(unique_items("", "; ", true), "");
  EXPECT_EQ(unique_items("abca音音", "", false), "abc音");
  EXPECT_EQ(unique_items("abca", "-", false), "a-b-c");
}

TEST(SplitCharacters, WholeCharactersAndStrayBytes) {
  TextArray out{"old"};
  EXPECT_EQ(split_characters("a音\r\nb\r🎵", out), 6);
  EXPECT_EQ(out, (TextArray{"a", "音", "\r\n", "b", "\r", "🎵"}));
  EXPECT_EQ(split_characters("a\xE9\x9F", out), 3);  // a cut-off character: two stray bytes
  EXPECT_EQ(out, (TextArray{"a", "\xE9", "\x9F"}));
  EXPECT_EQ(split_characters("\n\r", out), 2);
  EXPECT_EQ(split_characters("", out), 0);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace qiwa
