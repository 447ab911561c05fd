#include <gtest/gtest.h>

#include <climits>

#include "runtime/text.hpp"

namespace qiwa {
namespace {

const Text kPairWithBracket = "\x81\x5B";  // a double-byte character whose second byte is "["

TEST(TextCut, LeftRightMiddleClipAndRejectBadRanges) {
  EXPECT_EQ(left("abc", 2), "ab");
  EXPECT_EQ(left("abc", 9), "abc");
  EXPECT_EQ(left("abc", 0), "");
  EXPECT_EQ(left("abc", -1), "");
  EXPECT_EQ(left("音乐", 1), "\xD2");  // byte-based: may cut a character
  EXPECT_EQ(right("abc", 2), "bc");
  EXPECT_EQ(right("abc", 5), "abc");
  EXPECT_EQ(right("abc", -3), "");
  EXPECT_EQ(middle("abcdef", 2, 3), "bcd");
  EXPECT_EQ(middle("abcdef", 5, 10), "ef");
  EXPECT_EQ(middle("abcdef", 0, 2), "");
  EXPECT_EQ(middle("abcdef", 7, 1), "");
  EXPECT_EQ(middle("abcdef", 1, 0), "");
  EXPECT_EQ(length("音乐a"), 5);
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

TEST(TextFind, NeverStartsOnTheSecondByteOfAPair) {
  // "\xD2\xF4\xC0\xD6" is 音乐; "\xF4\xC0" straddles both characters.
  EXPECT_EQ(find("音乐", "\xF4\xC0"), -1);
  EXPECT_EQ(find(kPairWithBracket + "[", "["), 3);
  EXPECT_EQ(find(kPairWithBracket, "["), -1);
  // A start inside a pair moves on to the next character.
  EXPECT_EQ(find("音乐", "乐", 2), 3);
  EXPECT_EQ(find("音乐", "音", 2), -1);
}

TEST(TextFind, IgnoreCaseFoldsOnlyAsciiLetters) {
  // 0x81 0x61 and 0x81 0x41 are different characters; folding must not join them.
  EXPECT_EQ(find("\x81\x61", "\x81\x41", 1, true), -1);
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

TEST(TextReplace, KeepsPairsWhole) {
  EXPECT_EQ(replace("音乐", "\xF4\xC0", "x", true), "音乐");
  EXPECT_EQ(replace(kPairWithBracket + "[", "[", "(", true), kPairWithBracket + "(");
  EXPECT_EQ(replace("音乐音", "音", "歌", true), "歌乐歌");
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

TEST(TextSplit, SeparatorInsideAPairIsNoSeparator) {
  EXPECT_EQ(split(kPairWithBracket + "[x", "["), (TextArray{kPairWithBracket, "x"}));
  EXPECT_EQ(split("\x81\x2C,b"), (TextArray{"\x81\x2C", "b"}));
}

TEST(TextSpaces, TrimAndRemoveKnowFullWidthSpace) {
  EXPECT_EQ(trim("\xA1\xA1 \xA1\xA1  "), "");
  EXPECT_EQ(trim(" \xA1\xA1 音 乐\xA1\xA1 "), "音 乐");
  EXPECT_EQ(trim("ab"), "ab");
  // "\xA1\xA1" must be a pair of its own, not the tail of a character plus a lead byte.
  EXPECT_EQ(trim("\xB0\xA1\xA1\x41"), "\xB0\xA1\xA1\x41");
  EXPECT_EQ(remove_spaces(" a \xA1\xA1"
                          "b "),
            "ab");
  EXPECT_EQ(remove_spaces("\xB0\xA1\xA1\x41"), "\xB0\xA1\xA1\x41");
  EXPECT_EQ(spaces(3), "   ");
  EXPECT_EQ(spaces(0), "");
  EXPECT_EQ(spaces(-2), "");
}

TEST(TextCase, UpperCaseLeavesPairsAlone) {
  EXPECT_EQ(upper_case("abZ1"), "ABZ1");
  EXPECT_EQ(upper_case("\x81\x61"
                       "a"),
            "\x81\x61"
            "A");
}

TEST(TextNumbers, CharacterCodeIsSigned) {
  EXPECT_EQ(character_code("A"), 65);
  EXPECT_LT(character_code("音"), 0);
  EXPECT_EQ(character_code("音"), -46);  // 0xD2
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
  EXPECT_EQ(to_text(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(to_text(Bytes{'a', 'b'}), "ab");
  EXPECT_EQ(to_text(Bytes{}), "");
  EXPECT_EQ(to_bytes("音"), (Bytes{0xD2, 0xF4}));
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
