#include <gtest/gtest.h>

#include "runtime/codepage.hpp"

namespace qiwa {
namespace {

TEST(CodepageWin32, RoundTripsChineseText) {
  const Text gbk = "Qiwa音乐";
  std::u16string wide = gbk_to_utf16(gbk);
  EXPECT_EQ(wide, u"Qiwa音乐");
  EXPECT_EQ(utf16_to_gbk(wide), gbk);
  EXPECT_EQ(gbk_to_utf8(gbk), std::string(reinterpret_cast<const char*>(u8"Qiwa音乐")));
  EXPECT_EQ(utf8_to_gbk(reinterpret_cast<const char*>(u8"搜索")), Text("搜索"));
}

TEST(CodepageWin32, UnmappableBecomesQuestionMarkAndNulEnds) {
  EXPECT_EQ(utf16_to_gbk(u"a\U0001F3B5b"), "a?b");  // a character outside GBK, as a surrogate pair
  EXPECT_EQ(utf16_to_gbk(u"\u0E01"), "?");          // Thai has no GBK form
  EXPECT_EQ(utf16_to_gbk(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(utf16_to_gbk(u""), "");
}

}  // namespace
}  // namespace qiwa
