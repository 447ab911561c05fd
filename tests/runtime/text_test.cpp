#include <gtest/gtest.h>

#include <climits>

#include "runtime/text.hpp"

namespace qiwa {
namespace {

// 音 is E9 9F B3 and 乐 E4 B9 90; "\x9F\xB3\xE4" straddles the two.
const Text kMusic = "音乐";
const Text kEmoji = "🎵";  // F0 9F 8E B5

TEST(TextCut, LeftRightMiddleClipAndRejectBadRanges) {
  EXPECT_EQ(left("abc", 2), "ab");
  EXPECT_EQ(left("abc", 9), "abc");
  EXPECT_EQ(left("abc", 0), "");
  EXPECT_EQ(left("abc", -1), "");
  // Byte counts, but never half a character: a cut falls back (left) or moves on (right, middle).
  EXPECT_EQ(left(kMusic, 1), "");
  EXPECT_EQ(left(kMusic, 5), "音");
  EXPECT_EQ(left(kMusic, 6), kMusic);
  EXPECT_EQ(right(kMusic, 4), "乐");
  EXPECT_EQ(right("a" + kEmoji, 3), "");
  EXPECT_EQ(middle(kMusic, 2, 4), "");  // starts inside 音, ends inside 乐
  EXPECT_EQ(middle(kMusic, 2, 5), "乐");
  EXPECT_EQ(middle("a" + kEmoji + "b", 2, 5), kEmoji + "b");
  EXPECT_EQ(right("abc", 2), "bc");
  EXPECT_EQ(right("abc", 5), "abc");
  EXPECT_EQ(right("abc", -3), "");
  EXPECT_EQ(middle("abcdef", 2, 3), "bcd");
  EXPECT_EQ(middle("abcdef", 5, 10), "ef");
  EXPECT_EQ(middle("abcdef", 0, 2), "");
  EXPECT_EQ(middle("abcdef", 7, 1), "");
  EXPECT_EQ(middle("abcdef", 1, 0), "");
  EXPECT_EQ(length("音乐a"), 7);
}

TEST(TextFind, PositionsStartAndCase) {
  EXPECT_EQ(find("abcabc", "bc"), 2);
  EXPECT_EQ(find("abcabc", "bc", 3), 5);
  EXPECT_EQ(find("abcabc", "bc", -4), 2);
  EXPECT_EQ(find("abcabc", "x"), -1);
  EXPECT_EQ(find("abc", "ABC"), -1);
  EXPECT_EQ(find("xAbC", "abc", 1, true), 2);
  EXPECT_EQ(find("abc", "c", 4), -1);
  EXPECT_EQ(find("abc", "abcd"), -1);
}

TEST(TextFind, EmptySoughtGivesOneOnlyWhenSomethingIsSearched) {
  EXPECT_EQ(find("abc", ""), 1);
  EXPECT_EQ(find("", ""), -1);
  EXPECT_EQ(find("abc", "", 4), -1);
}

TEST(TextFind, NeverStartsOrEndsInsideACharacter) {
  EXPECT_EQ(find(kMusic, "\x9F\xB3\xE4"), -1);
  EXPECT_EQ(find(kMusic, "\xB3"), -1);
  EXPECT_EQ(find(kMusic, "\xE9\x9F"), -1);  // the start of 音 without its end
  EXPECT_EQ(find(kEmoji + "x", "\x8E\xB5x"), -1);
  EXPECT_EQ(find(kEmoji + "🎶", "🎶"), 5);
  // A start inside a character moves on to the next one.
  EXPECT_EQ(find(kMusic, "乐", 2), 4);
  EXPECT_EQ(find(kMusic, "音", 2), -1);
  // A byte that is no UTF-8 is a character of its own.
  EXPECT_EQ(find("a\xFF\xB3" "b", "\xB3" "b"), 3);
}

TEST(TextFind, IgnoreCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(find("Straße", "STRASSE", 1, true), -1);
  EXPECT_EQ(find("ÄB", "äb", 1, true), -1);
  EXPECT_EQ(find("Set-Cookie", "set-cookie", 1, true), 1);
}

TEST(TextReplace, AllMatchesLeftToRight) {
  EXPECT_EQ(replace("a-b-c", "-", "+", true), "a+b+c");
  EXPECT_EQ(replace("aaa", "aa", "b", true), "ba");  // resumes after a replacement
  EXPECT_EQ(replace("abab", "ab", "abab", true), "abababab");
  EXPECT_EQ(replace("a-b", "-", "", true), "ab");
  EXPECT_EQ(replace("Ab ab", "ab", "x", true), "Ab x");
  EXPECT_EQ(replace("Ab ab", "AB", "x", false), "x x");
}

TEST(TextReplace, StartCountAndUnchangedCases) {
  EXPECT_EQ(replace("a-b-c-d", "-", "+", true, 3), "a-b+c+d");
  EXPECT_EQ(replace("a-b-c-d", "-", "+", true, 1, 2), "a+b+c-d");
  EXPECT_EQ(replace("a-b", "-", "+", true, 1, 0), "a-b");
  EXPECT_EQ(replace("a-b", "-", "+", true, 4), "a-b");
  EXPECT_EQ(replace("a-b", "", "+", true), "a-b");
  EXPECT_EQ(replace("", "-", "+", true), "");
}

TEST(TextReplace, KeepsCharactersWhole) {
  EXPECT_EQ(replace(kMusic, "\x9F\xB3\xE4", "x", true), kMusic);
  EXPECT_EQ(replace(kMusic + "\xB3", "\xB3", "x", true), kMusic + "x");
  EXPECT_EQ(replace("音乐音", "音", "歌", true), "歌乐歌");
  EXPECT_EQ(replace("a🎵b🎵", "🎵", "♪", true), "a♪b♪");
}

TEST(TextSplit, AdjacentAndTrailingSeparators) {
  EXPECT_EQ(split("a,,b,"), (TextArray{"a", "", "b"}));
  EXPECT_EQ(split(",a"), (TextArray{"", "a"}));
  EXPECT_EQ(split("a"), (TextArray{"a"}));
  EXPECT_EQ(split(""), TextArray{});
  EXPECT_EQ(split("a,b", ""), (TextArray{"a,b"}));
  EXPECT_EQ(split("a<>b<>c", "<>"), (TextArray{"a", "b", "c"}));
}

TEST(TextSplit, MaximumDropsTheRest) {
  EXPECT_EQ(split("a,b,c", ",", 2), (TextArray{"a", "b"}));
  EXPECT_EQ(split("a,b", ",", 2), (TextArray{"a", "b"}));
  EXPECT_EQ(split("a,b", ",", 0), TextArray{});
}

TEST(TextSplit, SeparatorInsideACharacterIsNoSeparator) {
  EXPECT_EQ(split("音x乐", "\xB3"), (TextArray{"音x乐"}));
  EXPECT_EQ(split("별,빛,", ","), (TextArray{"별", "빛"}));
  EXPECT_EQ(split("a🎵b", "🎵"), (TextArray{"a", "b"}));
}

TEST(TextSpaces, TrimAndRemoveKnowFullWidthSpace) {
  EXPECT_EQ(trim("\u3000 \u3000  "), "");
  EXPECT_EQ(trim(" \u3000 音 乐\u3000 "), "音 乐");
  EXPECT_EQ(trim("ab"), "ab");
  EXPECT_EQ(trim("\u3000" + kEmoji + " \u3000"), kEmoji);
  EXPECT_EQ(remove_spaces(" a \u3000"
                          "b "),
            "ab");
  EXPECT_EQ(spaces(3), "   ");
  EXPECT_EQ(spaces(0), "");
  EXPECT_EQ(spaces(-2), "");
}

TEST(TextCase, UpperCaseFoldsOnlyAscii) {
  EXPECT_EQ(upper_case("abZ1"), "ABZ1");
  EXPECT_EQ(upper_case("äa音"), "äA音");
}

TEST(TextNumbers, CharacterCodeIsSigned) {
  EXPECT_EQ(character_code("A"), 65);
  EXPECT_LT(character_code("音"), 0);
  EXPECT_EQ(character_code("音"), -23);  // 0xE9
  EXPECT_EQ(character_code("ab", 2), 98);
  EXPECT_EQ(character_code("ab", 0), 0);
  EXPECT_EQ(character_code("ab", 3), 0);
  EXPECT_EQ(character_code(""), 0);
}

TEST(TextNumbers, ToIntegerFoldsFullWidthDigitsAndSigns) {
  EXPECT_EQ(to_integer("－１２"), -12);
  EXPECT_EQ(to_integer("＋３４x"), 34);
  EXPECT_EQ(to_integer("  \t-7abc"), -7);
  EXPECT_EQ(to_integer("+15"), 15);
  EXPECT_EQ(to_integer("abc"), 0);
  EXPECT_EQ(to_integer(""), 0);
  EXPECT_EQ(to_integer("- 5"), 0);
  EXPECT_EQ(to_integer("1２3"), 123);
}

TEST(TextNumbers, ToIntegerClampsInsteadOfOverflowing) {
  EXPECT_EQ(to_integer("2147483647"), INT_MAX);
  EXPECT_EQ(to_integer("-2147483648"), INT_MIN);
  EXPECT_EQ(to_integer("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(to_integer("-99999999999999999999999"), INT_MIN);
}

TEST(TextConversions, BytesAndText) {
  EXPECT_EQ(to_text(-42), "-42");
  EXPECT_EQ(to_text(0), "0");
  EXPECT_EQ(to_text(7, 2) + ":" + to_text(123, 2) + ":" + to_text(-5, 3) + ":" + to_text(0, 6), "07:123:-005:000000");
  EXPECT_EQ(to_text(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(to_text(Bytes{'a', 'b'}), "ab");
  EXPECT_EQ(to_text(Bytes{}), "");
  EXPECT_EQ(to_bytes("音"), (Bytes{0xE9, 0x9F, 0xB3}));
}

TEST(ByteSets, LeftMiddleClip) {
  const Bytes b{1, 2, 3, 4};
  EXPECT_EQ(bytes_left(b, 2), (Bytes{1, 2}));
  EXPECT_EQ(bytes_left(b, 10), b);
  EXPECT_EQ(bytes_left(b, -1), Bytes{});
  EXPECT_EQ(bytes_middle(b, 2, 2), (Bytes{2, 3}));
  EXPECT_EQ(bytes_middle(b, 0, 2), (Bytes{1, 2}));
  EXPECT_EQ(bytes_middle(b, 3, 9), (Bytes{3, 4}));
  EXPECT_EQ(bytes_middle(b, 5, 1), Bytes{});
  EXPECT_EQ(bytes_middle(b, 1, -1), Bytes{});
  EXPECT_EQ(zero_filled(3), (Bytes{0, 0, 0}));
  EXPECT_EQ(zero_filled(0), Bytes{});
}

TEST(ByteSets, ReplaceIsByteExact) {
  const Bytes b{0xD2, 0xF4, 0xC0, 0xD6, 0};
  EXPECT_EQ(bytes_replace(b, Bytes{0xF4, 0xC0}), (Bytes{0xD2, 0xD6, 0}));
  EXPECT_EQ(bytes_replace(Bytes{0, 1, 0, 1}, Bytes{0}, Bytes{9, 9}), (Bytes{9, 9, 1, 9, 9, 1}));
  EXPECT_EQ(bytes_replace(Bytes{1, 1, 1}, Bytes{1}, Bytes{2}, 2, 1), (Bytes{1, 2, 1}));
  EXPECT_EQ(bytes_replace(Bytes{1}, Bytes{}, Bytes{2}), (Bytes{1}));
  EXPECT_EQ(bytes_replace(Bytes{1}, Bytes{1}, Bytes{2}, 2), (Bytes{1}));
}

}  // namespace
}  // namespace qiwa
