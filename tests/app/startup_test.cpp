// Start-up (writing and choosing the skin library, attaching the skin) and the exit clean-up.
#include "app/startup.hpp"

#include "app/app_fixture.hpp"
#include "app/application.hpp"
#include "skin/skin_blobs.hpp"
#include "skin/skin_entry.hpp"

namespace qiwa {
namespace {

// What the skin entry point was handed; the fake library answers `answer`.
struct AttachCall {
  int calls = 0;
  const void* data = nullptr;
  int size = 0;
  const char* text = reinterpret_cast<const char*>(1);
  int a = -1, b = -1, c = -1;
  int answer = 0;
};
AttachCall g_call;

int QIWA_SKIN_CALL fake_attach(const unsigned char* data, int size, const char* text, int a, int b, int c) {
  g_call = {g_call.calls + 1, data, size, text, a, b, c, g_call.answer};
  return g_call.answer;
}
static_assert(std::is_same_v<decltype(&fake_attach), SkinAttachRes>);

class StartupTest : public AppFixture {
 protected:
  void SetUp() override { g_call = {}; }
  Text in_run(const char* name) const { return app.run_directory + "\\" + name; }
  Text in_system(const char* name) { return fake.files.system_directory() + name; }
  // A skin library at this path, exporting the entry point.
  void library_at(const Text& path) {
    fake.files.put(path, "a library");
    fake.libraries.provide(path, kSkinEntryName, reinterpret_cast<void*>(&fake_attach));
  }
  Text resolve(std::string_view candidate) {
    return resolve_skin_library_path(fake.files, candidate, app.run_directory, fake.files.system_directory());
  }
  bool attach(const Text& path) { return attach_skin(fake.files, app.libraries, path, skin_data(), nullptr, 0, 0, 0); }
};

TEST_F(StartupTest, WritesThePfDllImageAtEveryStartAndAttachesTheSkinFromIt) {
  library_at(in_run("pf.dll"));
  fake.files.put(in_run("pf.dll"), "an older copy, longer than the image itself");
  on_main_window_created(app);

  const auto image = skin_library_image();
  EXPECT_EQ(fake.files.read(in_run("pf.dll")), Text(image.begin(), image.end()));
  EXPECT_EQ(app.skin_library_path, in_run("pf.dll"));
  EXPECT_EQ(fake.libraries.loaded(), std::vector<Text>{in_run("pf.dll")});
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_EQ(g_call.data, skin_data().data());
  EXPECT_EQ(g_call.size, static_cast<int>(skin_data().size()));
  EXPECT_EQ(g_call.text, nullptr);
  EXPECT_EQ(g_call.a | g_call.b | g_call.c, 0);
  // The binding is reset, the library stays loaded.
  EXPECT_EQ(app.libraries.bound(kSkinEntryName), nullptr);
  EXPECT_TRUE(fake.libraries.freed().empty());
  EXPECT_EQ(app.libraries.loaded_count(), 1u);
}

TEST_F(StartupTest, AnUnwritablePfDllFallsBackToTheCopiesBesideAndInTheSystemDirectory) {
  fake.files.make_directory(in_run("pf.dll"));  // a folder: the image cannot be written there
  library_at(in_run("SkinH_EL.dll"));
  on_main_window_created(app);
  EXPECT_EQ(app.skin_library_path, in_run("SkinH_EL.dll"));

  library_at(in_system("SkinH_EL.dll"));
  on_main_window_created(app);
  EXPECT_EQ(app.skin_library_path, in_system("SkinH_EL.dll"));
  EXPECT_EQ(fake.libraries.loaded().back(), in_system("SkinH_EL.dll"));
}

TEST_F(StartupTest, ResolvesTheCandidateFirstThenBesideThenTheSystemCopy) {
  const Text candidate = in_run("pf.dll");
  // Nothing anywhere: the trimmed candidate stays.
  EXPECT_EQ(resolve("  " + candidate + " \u3000"), candidate);
  fake.files.put(in_system("SkinH_EL.dll"));
  EXPECT_EQ(resolve(candidate), in_system("SkinH_EL.dll"));
  fake.files.put(in_run("SkinH_EL.dll"));
  EXPECT_EQ(resolve(candidate), in_system("SkinH_EL.dll"));
  fake.files.remove(in_system("SkinH_EL.dll"));
  EXPECT_EQ(resolve(candidate), in_run("SkinH_EL.dll"));
  fake.files.put(in_run("pf.dll"));
  EXPECT_EQ(resolve("\u3000 " + candidate + "  "), candidate);
}

TEST_F(StartupTest, ACandidateWithWildcardsNamesNoFile) {
  library_at(in_run("pf.dll"));
  EXPECT_EQ(resolve(in_run("p?.dll")), in_run("p?.dll"));
  EXPECT_FALSE(attach(in_run("p*.dll")));
  EXPECT_TRUE(fake.libraries.loaded().empty());
}

TEST_F(StartupTest, AttachFailsWithoutAFileAnExportOrASuccessfulAnswer) {
  EXPECT_FALSE(attach(in_run("pf.dll")));
  EXPECT_TRUE(fake.libraries.loaded().empty());

  fake.files.put(in_run("pf.dll"));
  fake.libraries.provide(in_run("pf.dll"), "", nullptr);  // loads, but exports nothing
  EXPECT_FALSE(attach(in_run("pf.dll")));
  EXPECT_EQ(g_call.calls, 0);

  library_at(in_run("pf.dll"));
  g_call.answer = 3;  // the library refused the skin
  EXPECT_FALSE(attach(in_run("pf.dll")));
  EXPECT_EQ(g_call.calls, 1);
  EXPECT_EQ(app.libraries.bound(kSkinEntryName), nullptr);

  g_call.answer = 0;
  EXPECT_TRUE(attach(in_run("pf.dll")));
}

class CleanUpTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    fake.files.put(in_run("mine.mp3"), "the user's own song");
    fake.files.put(in_run("notes.txt"));
    fake.files.make_directory(in_run("x.mp3"));
    for (const char* name : {"song one.mp3", "song two.mp3", "gone already.mp3", "x.mp3"}) record(in_run(name));
    fake.files.put(in_run("song one.mp3"));
    fake.files.put(in_run("song two.mp3"));
    ASSERT_TRUE(begin(in_run("growing.mp3.3.part")));
  }
  // A song this run put in place.
  bool record(const Text& path) {
    return app.downloads.place(path + ".1.part", [path] { return path; });
  }
  // A part file this run made, with half a song in it.
  bool begin(const Text& part) {
    return app.downloads.begin([&]() -> std::optional<Text> {
      fake.files.put(part, "half a song");
      return part;
    });
  }
};

TEST_F(CleanUpTest, UntickedRemovesOnlyTheDownloadCutShort) {
  on_main_window_destroying(app);
  EXPECT_EQ(files(), (std::set<Text>{"mine.mp3", "notes.txt", "song one.mp3", "song two.mp3"}));
  EXPECT_TRUE(app.plays.current().stop_requested());  // every worker is told to stop
  EXPECT_EQ(fake.player.calls(), std::vector<Text>{"stop"});
}

TEST_F(CleanUpTest, TickedDeletesOnlyTheSongsThisRunDownloaded) {
  window.tick_delete_on_exit(true);
  on_main_window_destroying(app);
  EXPECT_EQ(files(), (std::set<Text>{"mine.mp3", "notes.txt"}));
  EXPECT_EQ(fake.files.read(in_run("mine.mp3")), "the user's own song");
  EXPECT_TRUE(fake.files.is_directory(in_run("x.mp3")));
  EXPECT_EQ(fake.player.calls(), std::vector<Text>{"stop"});  // stopped before anything is deleted
  EXPECT_TRUE(app.searches.current().stop_requested());
  // A download finishing now is not placed, and no new one begins.
  EXPECT_FALSE(record(in_run("late.mp3")));
  EXPECT_FALSE(begin(in_run("later.mp3.4.part")));
  EXPECT_FALSE(fake.files.exact_exists(in_run("later.mp3.4.part"))) << "made after the closing";
}

// Log-off or shut-down ends the process without destroying the window: the end of the session runs the
// same clean-up and keeps the settings, and a destroying that comes after it finds nothing more to do.
TEST_F(CleanUpTest, TheEndOfTheSessionCleansUpAndADestroyingAfterItDoesNoHarm) {
  window.tick_delete_on_exit(true);
  window.hold_media_key(true);
  window.drag_to({321, 123});
  Application events(app);
  events.on_event(WindowEvent::session_ending);
  EXPECT_EQ(files(), (std::set<Text>{"mine.mp3", "notes.txt"}));
  EXPECT_TRUE(app.plays.current().stop_requested());
  EXPECT_FALSE(window.media_key_held());
  ASSERT_TRUE(stores.settings.window_place());
  EXPECT_EQ(stores.settings.window_place()->x, 321) << "kept as at an exit";
  fake.files.put(in_run("song one.mp3"), "the user's song of that name, put back since");
  events.on_event(WindowEvent::destroying);
  EXPECT_EQ(files(), (std::set<Text>{"mine.mp3", "notes.txt", "song one.mp3"}));
}

}  // namespace
}  // namespace qiwa
