#include <gtest/gtest.h>

#include "text/charset.hpp"

namespace qiwa {
namespace {

TEST(DecodeUtf16Bytes, LittleEndianUnitsBecomeGbk) {
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0x42, 0x00}), "AB");
  EXPECT_EQ(decode_utf16_bytes({0x2D, 0x4E}), "中");
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0x2D, 0x4E, 0x87, 0x65, 0x42, 0x00}), "A中文B");
  EXPECT_EQ(decode_utf16_bytes({}), "");
}

TEST(DecodeUtf16Bytes, EndsAtTheFirstZeroUnit) {
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0x00, 0x00, 0x42, 0x00}), "A");
  EXPECT_EQ(decode_utf16_bytes({0x00, 0x00, 0x42, 0x00}), "");
  // A zero byte that is half of a unit does not end anything.
  EXPECT_EQ(decode_utf16_bytes({0x00, 0x4E, 0x41, 0x00}), decode_utf16_bytes({0x00, 0x4E}) + "A");
}

TEST(DecodeUtf16Bytes, ByteOrderMarkAndOddByteAreDropped) {
  EXPECT_EQ(decode_utf16_bytes({0xFF, 0xFE, 0x41, 0x00}), "A");
  EXPECT_EQ(decode_utf16_bytes({0xFF, 0xFE}), "");
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0x42}), "A");
  EXPECT_EQ(decode_utf16_bytes({0x41}), "");
  // Only a leading mark: one later on is an ordinary character GBK lacks.
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0xFF, 0xFE}), "A?");
}

TEST(DecodeUtf16Bytes, CharactersGbkLacksBecomeQuestionMarks) {
  EXPECT_EQ(decode_utf16_bytes({0x01, 0x0E, 0x41, 0x00}), "?A");                    // Thai
  EXPECT_EQ(decode_utf16_bytes({0x3C, 0xD8, 0xB5, 0xDF, 0x41, 0x00}), "?A");        // a surrogate pair
  EXPECT_EQ(decode_utf16_bytes({0x3C, 0xD8, 0x41, 0x00}), "?A");                    // a lone surrogate
}

TEST(DecodeUtf16Bytes, GbkBytesReadAsUnitsGiveOtherCharacters) {
  // What a text gives when its GBK bytes are taken for UTF-16: each byte pair one unit.
  const Text gbk = "中文";  // D6 D0 CE C4
  Bytes bytes(gbk.begin(), gbk.end());
  EXPECT_EQ(decode_utf16_bytes(bytes), utf16_to_text(u"\uD0D6\uC4CE"));
  EXPECT_NE(decode_utf16_bytes(bytes), gbk);
}

TEST(Utf16Text, AsciiAndRunsOfOtherCharactersKeepTheirOrder) {
  const Text gbk = "a中b文字c’\x95\x5C" "d";  // 95 5C: a character whose second byte is a backslash
  std::u16string wide = text_to_utf16(gbk);
  EXPECT_EQ(wide, u"a中b文字c’\u661Ed");
  EXPECT_EQ(utf16_to_text(wide), gbk);
  EXPECT_EQ(utf16_to_text(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(text_to_utf16(""), u"");
}

}  // namespace
}  // namespace qiwa
