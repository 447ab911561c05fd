// UTF-8 <-> UTF-16, compiled into both test programs: the portable conversions, and in the Windows
// program the CP_UTF8 boundary helper, which must give the same answers.
#include <gtest/gtest.h>

#include "runtime/utf.hpp"
#ifdef _WIN32
#include "runtime/win32/wide.hpp"
#endif

namespace qiwa {
namespace {

const Text kMixed = "Qiwa音乐 별빛 🎵 ดาว Tiếng";
const std::u16string kMixed16 = u"Qiwa音乐 별빛 🎵 ดาว Tiếng";

TEST(Utf, RoundTripsEveryScriptAndPlane) {
  EXPECT_EQ(utf8_to_utf16(kMixed), kMixed16);
  EXPECT_EQ(utf16_to_utf8(kMixed16), kMixed);
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x8E\xB5"), std::u16string(u"\xD83C\xDFB5"));  // one pair
  EXPECT_EQ(utf8_to_utf16(""), u"");
  EXPECT_EQ(utf16_to_utf8(std::u16string(u"a\0b", 3)), Text("a\0b", 3));  // NULs are the caller's to cut
}

TEST(Utf, WhatIsNoUtf8OrALoneSurrogateBecomesTheReplacementCharacter) {
  EXPECT_EQ(utf16_to_utf8(u"a\xD83C" "b"), "a\uFFFDb");
  EXPECT_EQ(utf16_to_utf8(u"\xDFB5\xD83C"), "\uFFFD\uFFFD");  // a pair the wrong way round
  EXPECT_EQ(utf8_to_utf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(utf8_to_utf16("\xE4\xB8" "a"), u"\uFFFDa");        // a character cut off: one for it
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");        // an overlong "/"
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(valid_utf8("a\x80\xE4\xB8\xAD"), "a\uFFFD中");
  EXPECT_TRUE(is_valid_utf8(kMixed));
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(Utf, CharacterLengthsAtEachByte) {
  const Text s = "a中🎵";
  EXPECT_EQ(utf8_length_at(s, 0), 1u);
  EXPECT_EQ(utf8_length_at(s, 1), 3u);
  EXPECT_EQ(utf8_length_at(s, 2), 0u);  // inside 中
  EXPECT_EQ(utf8_length_at(s, 4), 4u);
}

#ifdef _WIN32
TEST(UtfWin32, TheBoundaryHelperAgreesWithThePortableConversions) {
  for (const Text& s : {kMixed, Text("a\xFF" "b"), Text("\xE4\xB8"), Text()}) {
    std::u16string portable = utf8_to_utf16(s);
    EXPECT_EQ(wide(s), std::wstring(portable.begin(), portable.end())) << s;
  }
  EXPECT_EQ(narrow(std::wstring(kMixed16.begin(), kMixed16.end())), kMixed);
  EXPECT_EQ(narrow(L"a\xD83C" L"b"), "a\uFFFDb");
}
#endif

}  // namespace
}  // namespace qiwa
