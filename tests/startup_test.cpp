// Start-up (writing and choosing the skin library, attaching the skin) and the exit clean-up.
#include "app/startup.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/skin_blobs.hpp"
#include "fakes/fake_downloader.hpp"
#include "fakes/fake_player.hpp"
#include "fakes/fake_window.hpp"
#include "runtime/files.hpp"
#include "runtime/native_library.hpp"
#include "runtime/posix/files_posix.hpp"

namespace qiwa {
namespace {

namespace fs = std::filesystem;

// What the skin entry point was handed; the fake library answers `answer`.
struct AttachCall {
  int calls = 0;
  const void* data = nullptr;
  int size = 0;
  const char* text = reinterpret_cast<const char*>(1);
  int a = -1, b = -1, c = -1;
  int answer = 0;
  std::vector<Text> loaded;
  int freed = 0;
  bool has_export = true;
};
AttachCall g_call;
int g_library_tag;

int fake_attach(const unsigned char* data, int size, const char* text, int a, int b, int c) {
  g_call = {g_call.calls + 1, data, size, text, a, b, c, g_call.answer, g_call.loaded, g_call.freed, true};
  return g_call.answer;
}

void* fake_load(std::string_view path) {
  g_call.loaded.emplace_back(path);
  return &g_library_tag;
}
void* fake_symbol(void*, std::string_view name) {
  return g_call.has_export && name == "SkinH_AttachRes" ? reinterpret_cast<void*>(&fake_attach) : nullptr;
}
void fake_free(void*) { ++g_call.freed; }

Text slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Text(std::istreambuf_iterator<char>(in), {});
}

void put(const fs::path& p, std::string_view content = "x") {
  std::ofstream(p, std::ios::binary) << content;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() / ("qiwa-startup-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(root_);
    run_ = root_ / "run";
    system_ = root_ / "system";
    fs::create_directories(run_);
    fs::create_directories(system_);
    set_system_directory(system_.string());
    g_call = {};
    previous_ = set_library_hooks({&fake_load, &fake_symbol, &fake_free});
  }
  void TearDown() override {
    unload_all_libraries();
    set_library_hooks(previous_);
    fs::remove_all(root_);
  }

  Text run_dir() const { return run_.string(); }
  Text sys_dir() const { return system_.string() + "\\"; }
  Text in_run(const char* name) const { return run_dir() + "\\" + name; }

  fs::path root_, run_, system_;
  LibraryHooks previous_{};
  fakes::FakeWindow window_;
  fakes::FakePlayer player_;
  fakes::FakeDownloader downloader_;
};

TEST_F(StartupTest, WritesThePfDllImageAtEveryStartAndAttachesTheSkinFromIt) {
  put(run_ / "pf.dll", "an older copy, longer than the image itself");
  AppContext app(window_, player_, downloader_, run_dir());
  on_main_window_created(app);

  const auto image = skin_library_image();
  EXPECT_EQ(slurp(run_ / "pf.dll"), Text(image.begin(), image.end()));
  EXPECT_EQ(skin_library_path(), in_run("pf.dll"));
  ASSERT_EQ(g_call.loaded, std::vector<Text>{in_run("pf.dll")});
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_EQ(g_call.data, skin_data().data());
  EXPECT_EQ(g_call.size, static_cast<int>(skin_data().size()));
  EXPECT_EQ(g_call.text, nullptr);
  EXPECT_EQ(g_call.a | g_call.b | g_call.c, 0);
  // The binding is reset, the library stays loaded.
  EXPECT_EQ(bound_function("SkinH_AttachRes"), nullptr);
  EXPECT_EQ(g_call.freed, 0);
  EXPECT_EQ(loaded_library_count(), 1u);
}

TEST_F(StartupTest, AnUnwritablePfDllFallsBackToTheCopiesBesideAndInTheSystemDirectory) {
  fs::create_directories(run_ / "pf.dll");  // a folder: the image cannot be written there
  put(run_ / "SkinH_EL.dll");
  AppContext app(window_, player_, downloader_, run_dir());
  on_main_window_created(app);
  EXPECT_EQ(skin_library_path(), in_run("SkinH_EL.dll"));

  put(system_ / "SkinH_EL.dll");
  on_main_window_created(app);
  EXPECT_EQ(skin_library_path(), sys_dir() + "SkinH_EL.dll");
  EXPECT_EQ(g_call.loaded.back(), sys_dir() + "SkinH_EL.dll");
}

TEST_F(StartupTest, ResolvesTheCandidateFirstThenBesideThenTheSystemCopy) {
  const Text candidate = in_run("pf.dll");
  // Nothing anywhere: the trimmed candidate stays.
  EXPECT_EQ(resolve_skin_library_path("  " + candidate + " \u3000", run_dir(), sys_dir()), candidate);
  put(system_ / "SkinH_EL.dll");
  EXPECT_EQ(resolve_skin_library_path(candidate, run_dir(), sys_dir()), sys_dir() + "SkinH_EL.dll");
  put(run_ / "SkinH_EL.dll");
  EXPECT_EQ(resolve_skin_library_path(candidate, run_dir(), sys_dir()), sys_dir() + "SkinH_EL.dll");
  fs::remove(system_ / "SkinH_EL.dll");
  EXPECT_EQ(resolve_skin_library_path(candidate, run_dir(), sys_dir()), in_run("SkinH_EL.dll"));
  put(run_ / "pf.dll");
  EXPECT_EQ(resolve_skin_library_path("\u3000 " + candidate + "  ", run_dir(), sys_dir()), candidate);
}

TEST_F(StartupTest, ACandidateWithWildcardsNamesNoFile) {
  put(run_ / "pf.dll");
  EXPECT_EQ(resolve_skin_library_path(in_run("p?.dll"), run_dir(), sys_dir()), in_run("p?.dll"));
  EXPECT_FALSE(attach_skin(in_run("p*.dll"), skin_data(), nullptr, 0, 0, 0));
  EXPECT_TRUE(g_call.loaded.empty());
}

TEST_F(StartupTest, AttachFailsWithoutAFileAnExportOrASuccessfulAnswer) {
  EXPECT_FALSE(attach_skin(in_run("pf.dll"), skin_data(), nullptr, 0, 0, 0));
  EXPECT_TRUE(g_call.loaded.empty());

  put(run_ / "pf.dll");
  g_call.has_export = false;
  EXPECT_FALSE(attach_skin(in_run("pf.dll"), skin_data(), nullptr, 0, 0, 0));
  EXPECT_EQ(g_call.calls, 0);

  g_call.has_export = true;
  g_call.answer = 3;  // the library refused the skin
  EXPECT_FALSE(attach_skin(in_run("pf.dll"), skin_data(), nullptr, 0, 0, 0));
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_EQ(bound_function("SkinH_AttachRes"), nullptr);

  g_call.answer = 0;
  EXPECT_TRUE(attach_skin(in_run("pf.dll"), skin_data(), nullptr, 0, 0, 0));
}

class CleanUpTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    put(run_ / "mine.mp3", "the user's own song");
    put(run_ / "notes.txt");
    fs::create_directories(run_ / "x.mp3");
    put(run_ / "song one.mp3");
    put(run_ / "song two.mp3");
    app_ = std::make_unique<AppContext>(window_, player_, downloader_, run_dir());
    app_->downloads.add(in_run("song one.mp3"));
    app_->downloads.add(in_run("song two.mp3"));
    app_->downloads.add(in_run("gone already.mp3"));
    app_->downloads.add(in_run("x.mp3"));
  }
  std::unique_ptr<AppContext> app_;
};

TEST_F(CleanUpTest, UntickedDeletesNothingAndLeavesTheRegistryOpen) {
  on_main_window_destroying(*app_);
  for (const char* name : {"mine.mp3", "notes.txt", "x.mp3", "song one.mp3", "song two.mp3"})
    EXPECT_TRUE(fs::exists(run_ / name)) << name;
  EXPECT_TRUE(app_->closing);
  EXPECT_EQ(player_.calls(), std::vector<Text>{"stop"});
  EXPECT_TRUE(app_->downloads.add(in_run("late.mp3")));  // a late download keeps its file
}

TEST_F(CleanUpTest, TickedDeletesOnlyTheSongsThisRunDownloaded) {
  window_.tick(true);
  on_main_window_destroying(*app_);
  EXPECT_FALSE(fs::exists(run_ / "song one.mp3"));
  EXPECT_FALSE(fs::exists(run_ / "song two.mp3"));
  EXPECT_EQ(slurp(run_ / "mine.mp3"), "the user's own song");
  EXPECT_TRUE(fs::exists(run_ / "notes.txt"));
  EXPECT_TRUE(fs::is_directory(run_ / "x.mp3"));
  EXPECT_EQ(player_.calls(), std::vector<Text>{"stop"});  // stopped before anything is deleted
  EXPECT_TRUE(app_->closing);
  // A download finishing now is refused, so its worker removes the file itself.
  EXPECT_FALSE(app_->downloads.add(in_run("late.mp3")));
}

TEST_F(CleanUpTest, TickedWithTheWindowGoneDeletesNothing) {
  window_.tick(true);
  window_.close();  // the box can no longer be read: nothing is assumed
  on_main_window_destroying(*app_);
  EXPECT_TRUE(fs::exists(run_ / "song one.mp3"));
}

}  // namespace
}  // namespace qiwa
