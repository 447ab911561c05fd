#include <gtest/gtest.h>

#include "http/cookies.hpp"

namespace qiwa {
namespace {

TEST(ExtractCookies, FirstPairOfEachSetCookieLine) {
  EXPECT_EQ(extract_cookies("HTTP/1.1 200 OK\r\nSet-Cookie: uid=1; path=/\r\nContent-Type: text/html\r\n"
                            "Set-Cookie: lang=2\r\n\r\n"),
            "uid=1; lang=2");
  EXPECT_EQ(extract_cookies("Set-Cookie:  sid=abc ; HttpOnly"), "sid=abc");
}

TEST(ExtractCookies, OnlyTheExactHeaderNameCounts) {
  EXPECT_EQ(extract_cookies("set-cookie: uid=1\r\nSET-COOKIE: b=2"), "");
  EXPECT_EQ(extract_cookies("Set-Cookie:uid=1"), "");  // no ": " after the name
  EXPECT_EQ(extract_cookies("X-Set-Cookie: uid=1\r\nSet-Cookie2: a=1"), "");
  EXPECT_EQ(extract_cookies(""), "");
  EXPECT_EQ(extract_cookies("Content-Length: 3"), "");
}

TEST(MergeCookies, ResponseFirstThenUnreplacedSent) {
  Text old_cookies = "uid=1; theme=3";
  Text new_cookies = "uid=9; lang=2";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "uid=9; lang=2; theme=3");
  EXPECT_EQ(old_cookies, "uid=9; lang=2; theme=3");
  EXPECT_EQ(new_cookies, "uid=9;lang=2");  // written back without spaces
}

TEST(MergeCookies, DeletionRemovesAndIsNotPassedOn) {
  Text old_cookies = "uid=1; theme=3";
  Text new_cookies = "theme=deleted";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "uid=1");
  old_cookies = "uid=deleted";
  new_cookies = "";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "");
}

TEST(MergeCookies, RepeatsAndSpaces) {
  Text old_cookies = "uid=1;uid=2";
  Text new_cookies;
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "uid=1");
  old_cookies = "note=hello world";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "note=helloworld");
  old_cookies =
      "a=1 ;\u3000"
      "b=2";
  new_cookies = "b=2; a=1";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "b=2; a=1");
  old_cookies = "a=1";
  new_cookies = "c=3; c=3";
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "c=3; a=1");
}

TEST(MergeCookies, NothingGivesNothing) {
  Text old_cookies;
  Text new_cookies;
  EXPECT_EQ(merge_cookie_text(old_cookies, new_cookies), "");
  EXPECT_EQ(old_cookies, "");
}

}  // namespace
}  // namespace qiwa
