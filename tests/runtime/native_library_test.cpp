// The binding table over a loader double: every path "lib<N>" loads (handle N + 1) and exports "f" and
// "#1"; frees are recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/native_library.hpp"

namespace qiwa {
namespace {

class NumberedLibraries : public NativeLibraries {
 public:
  void* load(std::string_view path) override {
    if (path.substr(0, 3) != "lib") return nullptr;
    ++loads;
    return reinterpret_cast<void*>(std::stoul(std::string(path.substr(3))) + 1);
  }
  void* symbol(void* library, std::string_view name) override {
    if (name != "f" && name != "#1") return nullptr;
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(library) * 16 + (name == "f" ? 0 : 8));
  }
  void free(void* library) override {
    freed.push_back("lib" + std::to_string(reinterpret_cast<std::uintptr_t>(library) - 1));
  }
  std::vector<std::string> freed;
  int loads = 0;
};

class LibraryBindingsTest : public ::testing::Test {
 protected:
  static std::string lib(int n) { return "lib" + std::to_string(n); }
  NumberedLibraries os;
  LibraryBindings table{os};
};

TEST_F(LibraryBindingsTest, KeepsTwentyLoadedAndFreesTheOldestFirst) {
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(table.bind("fn" + std::to_string(i), lib(i), "f"));
  EXPECT_EQ(table.loaded_count(), 20u);
  EXPECT_TRUE(os.freed.empty());
  ASSERT_TRUE(table.bind("fn20", lib(20), "f"));
  ASSERT_TRUE(table.bind("fn21", lib(21), "#1"));
  EXPECT_EQ(table.loaded_count(), 20u);
  EXPECT_EQ(os.freed, (std::vector<std::string>{"lib0", "lib1"}));
  // A redirection into a freed library is gone rather than left pointing at unloaded code.
  EXPECT_EQ(table.bound("fn0"), nullptr);
  EXPECT_EQ(table.bound("fn1"), nullptr);
  EXPECT_NE(table.bound("fn2"), nullptr);
  EXPECT_EQ(table.bound("fn21"), reinterpret_cast<void*>(22 * 16 + 8));
}

TEST_F(LibraryBindingsTest, ReusesALoadedLibraryAndRebinds) {
  ASSERT_TRUE(table.bind("fn", lib(5), "f"));
  ASSERT_TRUE(table.bind("other", lib(5), "#1"));
  EXPECT_EQ(os.loads, 1);
  EXPECT_EQ(table.loaded_count(), 1u);
  ASSERT_TRUE(table.bind("fn", lib(6), "f"));  // the next call goes to the newer library
  EXPECT_EQ(table.bound("fn"), reinterpret_cast<void*>(7 * 16));
}

TEST_F(LibraryBindingsTest, FailuresLeaveTheTableAsItWas) {
  ASSERT_TRUE(table.bind("fn", lib(1), "f"));
  EXPECT_FALSE(table.bind("fn", "missing", "f"));
  EXPECT_FALSE(table.bind("fn", lib(2), "absent"));
  EXPECT_FALSE(table.bind("fn", lib(3), ""));
  EXPECT_EQ(os.freed, (std::vector<std::string>{"lib2", "lib3"}));  // unusable libraries are not kept
  EXPECT_EQ(table.loaded_count(), 1u);
  EXPECT_EQ(table.bound("fn"), reinterpret_cast<void*>(2 * 16));
}

TEST_F(LibraryBindingsTest, ResetRemovesOnlyTheRedirection) {
  ASSERT_TRUE(table.bind("fn", lib(1), "f"));
  table.reset("fn");
  EXPECT_EQ(table.bound("fn"), nullptr);
  EXPECT_EQ(table.loaded_count(), 1u);
  ASSERT_TRUE(table.bind("fn", lib(1), "f"));
  EXPECT_TRUE(table.bind("fn", "", ""));  // no path: the redirection is removed
  EXPECT_EQ(table.bound("fn"), nullptr);
  table.reset("never-bound");
  EXPECT_TRUE(os.freed.empty());
}

TEST_F(LibraryBindingsTest, TheTableFreesWhatItLoadedWhenItGoes) {
  {
    LibraryBindings scoped(os);
    ASSERT_TRUE(scoped.bind("fn", lib(1), "f"));
    ASSERT_TRUE(scoped.bind("gn", lib(2), "f"));
  }
  EXPECT_EQ(os.freed, (std::vector<std::string>{"lib1", "lib2"}));
}

}  // namespace
}  // namespace qiwa
