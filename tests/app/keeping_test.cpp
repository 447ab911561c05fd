// What is kept across runs, as the application uses its stores: read at start, written in batches on a
// worker while there are changes, and at exit.
#include "app/keeping.hpp"

#include "app/app_fixture.hpp"
#include "app/searching.hpp"
#include "app/startup.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

struct Keeping : AppFixture {
  Text settings_file() const { return store_folder + "\\" + Text(Settings::kFileName); }
  Text library_file() const { return store_folder + "\\" + Text(Library::kFileName); }
  // A later run of the program over the same disk.
  struct NextRun {
    explicit NextRun(Keeping& t) : stores(t.fake.files, t.fake.clock, t.store_folder, "127.0.0.1:8765") {
      stores.settings.load();
      stores.library.load();
    }
    Stores stores;
  };
};

TEST_F(Keeping, ChangesAreWrittenOnAWorkerAtMostOnceASecondAndTheTimerStopsWhenAllIsWritten) {
  stores.settings.set_volume(40);
  stores_changed(app);
  EXPECT_EQ(window.period(Timer::stores), 1000);
  EXPECT_FALSE(fake.files.exact_exists(settings_file()));  // not on the path of the change
  fake.clock.advance(1000);
  window.fire(Timer::stores);
  EXPECT_FALSE(fake.files.exact_exists(settings_file()));  // the write waits for its worker
  EXPECT_EQ(fake.executor.waiting_workers(), 1u);
  window.fire(Timer::stores);
  EXPECT_EQ(fake.executor.waiting_workers(), 1u);  // one write at a time
  settle();
  EXPECT_EQ(NextRun(*this).stores.settings.volume(), 40);
  window.fire(Timer::stores);
  EXPECT_EQ(window.period(Timer::stores), 0);  // nothing left to write: nothing wakes
}

TEST_F(Keeping, TheExitKeepsTheWindowsPlaceAndWritesWhatIsLeft) {
  window.drag_to(ScreenPoint{300, 120});
  stores.settings.set_catalogue(2);
  keep_at_exit(app);
  NextRun next(*this);
  ASSERT_TRUE(next.stores.settings.window_place());
  EXPECT_EQ(next.stores.settings.window_place()->x, 300);
  EXPECT_EQ(next.stores.settings.window_place()->y, 120);
  EXPECT_EQ(next.stores.settings.catalogue(), 2);
  EXPECT_EQ(window.period(Timer::stores), 0);
}

// The next start shows the window where it was, with the catalogue chosen then, and the last search's
// words and rows once the library is in.
TEST_F(Keeping, TheNextStartPutsBackThePlaceTheCatalogueAndTheLastSearch) {
  fake.service.on("search", [](const fakes::ServiceCall&) {
    return jsonp(R"([{"id":1,"name":"A","artist":["s"],"album":"x","pic_id":"p1","url_id":1,"lyric_id":1}])");
  });
  window.type("周杰伦");
  window.choose(1);
  start_search(app);
  settle();
  window.drag_to(ScreenPoint{10, 20});
  keep_at_exit(app);

  fakes::FakeWindow later_window;
  Stores later_stores{fake.files, fake.clock, store_folder, "127.0.0.1:8765"};
  later_stores.settings.load();
  AppContext later{later_window, fake.platform(), later_stores, "127.0.0.1:8765"};
  apply_settings(later);
  EXPECT_EQ(later_window.catalogue(), 1);
  EXPECT_EQ(later_window.position(), (ScreenPoint{10, 20}));
  load_library(later);
  settle();
  EXPECT_EQ(later_window.search_words(), "周杰伦");
  ASSERT_EQ(later_window.row_count(), 1);
  EXPECT_EQ(later_window.rows()[0][3], "A");
  ASSERT_EQ(later.rows.size(), 1u);
  EXPECT_EQ(later.rows[0].source, "kugou");
  EXPECT_EQ(later.current_page, 1);
}

// A run killed while it downloaded or retagged left its temporaries beside the songs, in the chosen folder
// and in the program's; the next start removes exactly those, on a worker. Process 77 ended, 88 runs (another
// copy of the program, downloading now), 4242 is this run.
TEST_F(Keeping, TheStartRemovesOnlyWhatAKilledRunLeftBesideTheSongs) {
  const Text chosen = "D:\\Music";
  fake.files.make_directories(chosen);
  stores.settings.set_download_folder(chosen);
  fake.files.run_process(88);
  const std::set<Text> users = {"晴天.mp3",           // the songs, and files only named like ours
                                "晴天 (2).mp3",       // a user's file named like a song
                                "晴天.mp3.part",      // no process and number
                                "晴天.mp3.77-.part",  // no number
                                "晴天.77-1.part",     // not a song's
                                "晴天.mp3.77-1.part.txt",
                                "晴天.mp3.77-1.retag.mp3",
                                "晴天.mp3.x77-1.retag"};
  const std::set<Text> in_use = {"晴天.mp3.88-1.part", "晴天.mp3.4242-3.part", "晴天.mp3.88-2.retag"};
  for (const Text& folder : {chosen, app.run_directory}) {
    for (const Text& name : users) fake.files.put(folder + "\\" + name, "the user's");
    for (const Text& name : in_use) fake.files.put(folder + "\\" + name, "being written");
    fake.files.put(folder + "\\晴天.mp3.77-1.part", "half a song");
    fake.files.put(folder + "\\晴天 (2).mp3.77-2.retag", "a tag and half a song");
    fake.files.put(folder + "\\晴天.mp3.77-5.old", "the song before its retag");  // the new one took its name
    fake.files.put(folder + "\\七里香.mp3.77-6.old", "the song");                  // killed before it did
    fake.files.put(folder + "\\七里香.mp3.77-7.retag", "its new file");
  }

  load_library(app);
  EXPECT_EQ(files().size(), users.size() + in_use.size() + 5) << "before the worker ran";
  settle();

  std::set<Text> left = users;
  left.insert(in_use.begin(), in_use.end());
  left.insert("七里香.mp3");
  for (const Text& folder : {chosen, app.run_directory}) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(fake.files.names_in(folder), left);
    EXPECT_EQ(fake.files.read(folder + "\\七里香.mp3"), "the song");
    EXPECT_EQ(fake.files.read(folder + "\\晴天.mp3"), "the user's");
  }
}

// A damaged settings file is set aside, the program starts with what it could read and says so once.
TEST_F(Keeping, ADamagedFileIsSaidOnceInTheTitle) {
  fake.files.put(settings_file(), "\x01\x02 not a settings file at all \xff");
  stores.settings.load();
  apply_settings(app);
  ASSERT_EQ(window.titles().size(), 1u);
  EXPECT_NE(window.titles()[0].find("设置"), Text::npos);
  apply_settings(app);
  EXPECT_EQ(window.titles().size(), 1u);
}

// The dialog's OK is checked: a bad address or an unwritable folder sends the user back with a line to
// read; what they keep is stored and the next request goes to the new address.
TEST_F(Keeping, TheSettingsDialogKeepsAFormOnlyOnceItIsSound) {
  fake.files.make_directories("D:\\Music");
  fake.files.refuse("E:\\");
  window.answer_settings([](const SettingsForm& shown) {
    SettingsForm bad_host = shown, bad_folder = shown, good = shown;
    bad_host.service = "not a host/path";
    bad_folder.download_folder = "E:\\locked";
    good.service = " http://192.168.1.9:8080/ ";
    good.download_folder = "D:\\Music\\";
    good.name_pattern = NamePattern::singer_title;
    good.quality_kbps = 128;
    good.save_lrc = true;
    return std::vector{bad_host, bad_folder, good};
  });
  open_settings(app);
  ASSERT_EQ(window.settings_problems().size(), 2u);
  EXPECT_NE(window.settings_problems()[0].find("服务地址"), Text::npos);
  EXPECT_NE(window.settings_problems()[1].find("E:\\locked"), Text::npos);
  EXPECT_EQ(stores.settings.service(), "192.168.1.9:8080");
  EXPECT_EQ(stores.settings.download_folder(), "D:\\Music");
  EXPECT_EQ(stores.settings.name_pattern(), NamePattern::singer_title);
  EXPECT_EQ(stores.settings.quality_kbps(), 128);
  EXPECT_TRUE(stores.settings.save_lrc());
  EXPECT_EQ(window.period(Timer::stores), 1000);  // written like any change

  start_search(app);
  settle();
  EXPECT_EQ(fake.service.calls().at(0).url.rfind("http://192.168.1.9:8080/", 0), 0u);
}

// A run started with --service keeps that address while the user changes other settings, and never
// writes it into them; an address the user keeps in the dialog takes over.
TEST_F(Keeping, ARunsOwnServiceStaysUntilTheUserChangesTheAddress) {
  AppContext run{window, fake.platform(), stores, "127.0.0.1:18901"};
  window.answer_settings([](const SettingsForm& shown) {
    SettingsForm form = shown;
    form.save_lrc = true;
    return std::vector{form};
  });
  open_settings(run);
  EXPECT_EQ(run.service.host, "127.0.0.1:18901");
  keep_at_exit(run);
  EXPECT_EQ(NextRun(*this).stores.settings.value("service"), std::nullopt);

  window.answer_settings([](const SettingsForm& shown) {
    SettingsForm form = shown;
    form.service = "music.example:80";
    return std::vector{form};
  });
  open_settings(run);
  EXPECT_EQ(run.service.host, "music.example:80");
}

TEST_F(Keeping, ACancelledSettingsDialogChangesNothing) {
  window.answer_settings([](const SettingsForm&) { return std::vector<SettingsForm>{}; });  // looked, cancelled
  open_settings(app);
  EXPECT_FALSE(stores.settings.close_to_tray());
  EXPECT_FALSE(stores.dirty());
  EXPECT_EQ(window.period(Timer::stores), 0);
}

}  // namespace
}  // namespace qiwa
