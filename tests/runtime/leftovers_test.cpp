#include "runtime/leftovers.hpp"

#include <gtest/gtest.h>

namespace qiwa {
namespace {

TEST(TemporaryName, OnlyTheExactFormTellsItsTargetAndProcess) {
  const auto t = read_temporary_name("晴天 (2).mp3.1234-56.part", ".part");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->target, "晴天 (2).mp3");
  EXPECT_EQ(t->process, 1234u);
  EXPECT_EQ(read_temporary_name("a.4294967295-1.old", ".old")->process, 4294967295u);
  for (const char* name : {"a.mp3.12-3.retag", "a.mp3.12-3.part.txt", "a.mp3.part", ".12-3.part", "a.mp3.12.part",
                           "a.mp3.-3.part", "a.mp3.12-.part", "a.mp3.1x2-3.part", "a.mp3 12-3.part",
                           "a.mp3.4294967296-1.part", "a.mp3.12345678901-1.part", "12-3.part", ".part"})
    EXPECT_FALSE(read_temporary_name(name, ".part")) << name;
}

}  // namespace
}  // namespace qiwa
