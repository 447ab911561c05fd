#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "runtime/native_library.hpp"

namespace qiwa {
namespace {

// A fake loader: every path "lib<N>" loads (handle N + 1) and exports "f" and "#1"; frees are recorded.
struct FakeOs {
  static inline std::vector<std::string> freed;
  static inline int loads = 0;
  static std::size_t index(void* library) { return reinterpret_cast<std::uintptr_t>(library) - 1; }
  static void* load(std::string_view path) {
    if (path.substr(0, 3) != "lib") return nullptr;
    ++loads;
    return reinterpret_cast<void*>(std::stoul(std::string(path.substr(3))) + 1);
  }
  static void* symbol(void* library, std::string_view name) {
    if (name != "f" && name != "#1") return nullptr;
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(library) * 16 + (name == "f" ? 0 : 8));
  }
  static void free(void* library) { freed.push_back("lib" + std::to_string(index(library))); }
};

class NativeLibraryFake : public ::testing::Test {
 protected:
  void SetUp() override {
    unload_all_libraries();
    previous_ = set_library_hooks({&FakeOs::load, &FakeOs::symbol, &FakeOs::free});
    FakeOs::freed.clear();
    FakeOs::loads = 0;
  }
  void TearDown() override {
    unload_all_libraries();
    set_library_hooks(previous_);
  }
  static std::string lib(int n) { return "lib" + std::to_string(n); }
  LibraryHooks previous_{};
};

TEST_F(NativeLibraryFake, KeepsTwentyLoadedAndFreesTheOldestFirst) {
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(bind_library_function("fn" + std::to_string(i), lib(i), "f"));
  EXPECT_EQ(loaded_library_count(), 20u);
  EXPECT_TRUE(FakeOs::freed.empty());
  ASSERT_TRUE(bind_library_function("fn20", lib(20), "f"));
  ASSERT_TRUE(bind_library_function("fn21", lib(21), "#1"));
  EXPECT_EQ(loaded_library_count(), 20u);
  EXPECT_EQ(FakeOs::freed, (std::vector<std::string>{"lib0", "lib1"}));
  // A redirection into a freed library is gone rather than left pointing at unloaded code.
  EXPECT_EQ(bound_function("fn0"), nullptr);
  EXPECT_EQ(bound_function("fn1"), nullptr);
  EXPECT_NE(bound_function("fn2"), nullptr);
  EXPECT_EQ(bound_function("fn21"), reinterpret_cast<void*>(22 * 16 + 8));
}

TEST_F(NativeLibraryFake, ReusesALoadedLibraryAndRebinds) {
  ASSERT_TRUE(bind_library_function("fn", lib(5), "f"));
  ASSERT_TRUE(bind_library_function("other", lib(5), "#1"));
  EXPECT_EQ(FakeOs::loads, 1);
  EXPECT_EQ(loaded_library_count(), 1u);
  ASSERT_TRUE(bind_library_function("fn", lib(6), "f"));  // the next call goes to the newer library
  EXPECT_EQ(bound_function("fn"), reinterpret_cast<void*>(7 * 16));
}

TEST_F(NativeLibraryFake, FailuresLeaveTheTableAsItWas) {
  ASSERT_TRUE(bind_library_function("fn", lib(1), "f"));
  EXPECT_FALSE(bind_library_function("fn", "missing", "f"));
  EXPECT_FALSE(bind_library_function("fn", lib(2), "absent"));
  EXPECT_FALSE(bind_library_function("fn", lib(3), ""));
  EXPECT_EQ(FakeOs::freed, (std::vector<std::string>{"lib2", "lib3"}));  // unusable libraries are not kept
  EXPECT_EQ(loaded_library_count(), 1u);
  EXPECT_EQ(bound_function("fn"), reinterpret_cast<void*>(2 * 16));
}

TEST_F(NativeLibraryFake, ResetRemovesOnlyTheRedirection) {
  ASSERT_TRUE(bind_library_function("fn", lib(1), "f"));
  reset_library_binding("fn");
  EXPECT_EQ(bound_function("fn"), nullptr);
  EXPECT_EQ(loaded_library_count(), 1u);
  ASSERT_TRUE(bind_library_function("fn", lib(1), "f"));
  EXPECT_TRUE(bind_library_function("fn", "", ""));  // no path: the redirection is removed
  EXPECT_EQ(bound_function("fn"), nullptr);
  reset_library_binding("never-bound");
  EXPECT_TRUE(FakeOs::freed.empty());
}

TEST(NativeLibraryHost, BindsARealExportByAbsolutePath) {
  Dl_info info{};
  double (*cosine)(double) = &std::cos;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(cosine), &info), 0);
  std::string path = info.dli_fname;
  ASSERT_EQ(path.front(), '/');
  ASSERT_TRUE(bind_library_function("cos", path, "cos"));
  auto bound = reinterpret_cast<double (*)(double)>(bound_function("cos"));
  ASSERT_NE(bound, nullptr);
  EXPECT_DOUBLE_EQ(bound(0.0), 1.0);
  EXPECT_FALSE(bind_library_function("x", path, "#1"));  // ELF has no ordinals
  EXPECT_FALSE(bind_library_function("x", "libm.so.6", "cos"));  // a relative name is never searched for
  unload_all_libraries();
  EXPECT_EQ(bound_function("cos"), nullptr);
  EXPECT_EQ(loaded_library_count(), 0u);
}

}  // namespace
}  // namespace qiwa
