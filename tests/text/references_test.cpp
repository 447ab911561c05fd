#include "text/references.hpp"

#include <gtest/gtest.h>

namespace qiwa {
namespace {

TEST(CharacterReferences, NamedAndNumericOnesBecomeTheirCharacters) {
  EXPECT_EQ(decode_character_references("It&apos;s &quot;you&quot; &amp; me"), "It's \"you\" & me");
  EXPECT_EQ(decode_character_references("&lt;b&gt;&nbsp;x"), "<b>\u00A0x");
  EXPECT_EQ(decode_character_references("it&#39;s &#x4F60;&#X597D; &#128149;"), "it's 你好 💕");
  EXPECT_EQ(decode_character_references("&amp;lt;"), "&lt;");  // read once
}

TEST(CharacterReferences, WhatOnlyLooksLikeOneStays) {
  for (const char* kept : {"&copy;", "&AMP;", "a & b", "&amp", "&#;", "&#x;", "&#0;", "&#xD800;", "&#x110000;",
                           "&#12a;", "&#xZZ;", "&&", "&", "&verylongname;", "R&B;", "&#10;", "&#x0D;", "&#127;"})
    EXPECT_EQ(decode_character_references(kept), kept);
  EXPECT_EQ(decode_character_references("&&amp;"), "&&");
  EXPECT_EQ(decode_character_references("a&#9;b"), "a\tb");
  EXPECT_EQ(decode_character_references(""), "");
}

}  // namespace
}  // namespace qiwa
