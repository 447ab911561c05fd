#include <gtest/gtest.h>

#include "text/charset.hpp"

namespace qiwa {
namespace {

TEST(DecodeUtf16Bytes, LittleEndianUnitsBecomeUtf8) {
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
  // Only a leading mark: one later on is an ordinary character.
  EXPECT_EQ(decode_utf16_bytes({0x41, 0x00, 0xFF, 0xFE}), "A\uFEFF");
}

TEST(DecodeUtf16Bytes, EveryCharacterComesThroughAndLoneSurrogatesAreReplaced) {
  EXPECT_EQ(decode_utf16_bytes({0x01, 0x0E, 0x41, 0x00}), "กA");                    // Thai
  EXPECT_EQ(decode_utf16_bytes({0x3C, 0xD8, 0xB5, 0xDF, 0x41, 0x00}), "🎵A");       // a surrogate pair
  EXPECT_EQ(decode_utf16_bytes({0x3C, 0xD8, 0x41, 0x00}), "\uFFFDA");              // a lone surrogate
  EXPECT_EQ(decode_utf16_bytes({0xB5, 0xDF}), "\uFFFD");                           // a lone low half
}

TEST(DecodeUtf16Bytes, TextBytesReadAsUnitsGiveOtherCharacters) {
  // What a text gives when its UTF-8 bytes are taken for UTF-16: each byte pair one unit.
  const Text text = "中文";  // E4 B8 AD E6 96 87
  Bytes bytes(text.begin(), text.end());
  EXPECT_EQ(decode_utf16_bytes(bytes), "\uB8E4\uE6AD\u8796");
  EXPECT_NE(decode_utf16_bytes(bytes), text);
}

}  // namespace
}  // namespace qiwa
