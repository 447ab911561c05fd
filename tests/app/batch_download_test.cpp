// "下载选中": several songs downloaded at once without playing them, each row showing where it stands.
#include "app/batch_download.hpp"

#include "app/app_fixture.hpp"
#include "app/playing.hpp"
#include "app/startup.hpp"
#include "fakes/test_song.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

Text address(std::string_view id) {
  return "http://h/music/" + Text(id) + ".mp3";
}

struct BatchFlow : AppFixture {
  const Text mp3 = fakes::test_song();

  void SetUp() override {
    fake.executor.run_posts_at_once(true);
    fake.service.on("url", [](const fakes::ServiceCall& c) {
      if (c.field("id") == "404") return jsonp(R"({"url":"","size":0,"br":-1})");
      return jsonp(R"({"url":"http:\/\/h\/music\/)" + c.field("id") + R"(.mp3","size":27,"br":320})");
    });
    for (const char* id : {"1", "2", "3", "4", "5"}) fake.downloader.serve(address(id), {mp3});
  }
  // Rows "歌1".."歌n" with ids 1..n, every one selected.
  void select_songs(int n) {
    std::vector<SongRow> rows;
    std::vector<int> all;
    for (int i = 1; i <= n; ++i) {
      rows.push_back(
          SongRow{std::to_string(i), "p", "l", "歌" + std::to_string(i), "singer", "album", "netease"});
      all.push_back(i - 1);
    }
    show_rows(std::move(rows));
    window.select_rows(all);
  }
  Text title_cell(int row) const { return window.rows().at(static_cast<std::size_t>(row)).at(3); }
  std::vector<Text> title_cells() const {
    std::vector<Text> cells;
    for (int row = 0; row < window.row_count(); ++row) cells.push_back(title_cell(row));
    return cells;
  }
  static Text saved(std::string_view title, std::string_view id, const Text& body) {
    return fakes::tag_text(song_tag(Track{Text(title), Text(id), "p", "l", "netease", "singer", "album"})) +
           body;
  }
};

// Two at a time, each row saying where its song stands; the songs are kept as a played song is (tag,
// name, this run's downloads, the songs on disk) and nothing is played.
TEST_F(BatchFlow, TheSelectedSongsAreDownloadedTwoAtATimeWithoutPlaying) {
  select_songs(5);
  download_selected(app);
  EXPECT_EQ(fake.executor.waiting_workers(), 2u);
  EXPECT_EQ(title_cells(),
            (std::vector<Text>{"[等待] 歌1", "[等待] 歌2", "[等待] 歌3", "[等待] 歌4", "[等待] 歌5"}));
  fake.executor.run_next_worker();  // the first song whole: the third one starts, and the first's measure
  EXPECT_EQ(title_cell(0), "[完成] 歌1");
  EXPECT_EQ(fake.executor.waiting_workers(), 3u);
  EXPECT_EQ(fake.executor.started_low(), 1);
  settle();
  EXPECT_EQ(title_cells(),
            (std::vector<Text>{"[完成] 歌1", "[完成] 歌2", "[完成] 歌3", "[完成] 歌4", "[完成] 歌5"}));
  EXPECT_EQ(files(), (std::set<Text>{"歌1.mp3", "歌2.mp3", "歌3.mp3", "歌4.mp3", "歌5.mp3"}));
  EXPECT_EQ(fake.files.read(song("歌4")), saved("歌4", "4", mp3));
  EXPECT_EQ(fake.service.calls_of("url").at(0).field("br"), "320");
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_EQ(stores.library.list(LibraryList::local).size(), 5u);
  window.tick_delete_on_exit(true);  // they are this run's downloads
  on_main_window_destroying(app);
  EXPECT_TRUE(files().empty());
}

// The row shows the whole percent as the song comes, and the rows shown again keep their states.
TEST_F(BatchFlow, ARowShowsItsPercentAndKeepsItsStateWhenShownAgain) {
  std::vector<Text> seen;
  fake.downloader.serve(address("1"), {mp3, DownloadStatus::ok, mp3.size() / 4 + 1, {}, [&](std::size_t) {
                                         seen.push_back(title_cell(0));
                                       }});
  select_songs(1);
  download_selected(app);
  settle();
  EXPECT_EQ(seen, (std::vector<Text>{"[25%] 歌1", "[50%] 歌1", "[75%] 歌1", "[99%] 歌1"}));
  show_rows({SongRow{"9", "p", "l", "其他", "", "", "netease"},
             SongRow{"1", "p", "l", "歌1", "singer", "album", "netease"}});
  show_download_states(app);
  EXPECT_EQ(title_cells(), (std::vector<Text>{"其他", "[完成] 歌1"}));
}

// A song the service has no address for, a dead transfer and a body that is no song fail on their own
// rows and leave no file; the others go on.
TEST_F(BatchFlow, FailuresShowOnTheirRowsAndLeaveNothing) {
  fake.downloader.serve(address("2"), {mp3.substr(0, 100), DownloadStatus::no_connection});
  fake.downloader.serve(address("3"), {"<html>denied</html>"});
  std::vector<SongRow> rows{{"1", "p", "l", "歌1", "", "", "netease"},
                            {"2", "p", "l", "歌2", "", "", "netease"},
                            {"3", "p", "l", "歌3", "", "", "netease"},
                            {"404", "p", "l", "歌4", "", "", "netease"}};
  show_rows(rows);
  window.select_rows({0, 1, 2, 3});
  download_selected(app);
  settle();
  EXPECT_EQ(title_cells(), (std::vector<Text>{"[完成] 歌1", "[失败] 歌2", "[失败] 歌3", "[失败] 歌4"}));
  EXPECT_EQ(files(), std::set<Text>{"歌1.mp3"});
  EXPECT_TRUE(window.messages().empty());
  window.select_rows({1});  // tried again, it may come this time
  fake.downloader.serve(address("2"), {mp3});
  download_selected(app);
  settle();
  EXPECT_EQ(title_cell(1), "[完成] 歌2");
}

// A user's file of the name stays as it is; a song this program saved before is done without the network;
// a row queued twice is fetched once.
TEST_F(BatchFlow, TheUsersFilesStayAndASongSavedBeforeIsNotFetchedAgain) {
  fake.files.put(song("歌1"), "the user's own song");
  fake.files.put(song("歌2"), saved("歌2", "2", mp3));
  select_songs(2);
  download_selected(app);
  download_selected(app);
  settle();
  EXPECT_EQ(title_cells(), (std::vector<Text>{"[完成] 歌1", "[完成] 歌2"}));
  EXPECT_EQ(fake.downloader.requested(), std::vector<Text>{address("1")});
  EXPECT_EQ(fake.files.read(song("歌1")), "the user's own song");
  EXPECT_EQ(fake.files.read(song("歌1 (2)")), saved("歌1", "1", mp3));
}

// A play click starts its own worker at once, beside the two songs running, not behind the one waiting.
TEST_F(BatchFlow, APlayGoesFirst) {
  select_songs(4);
  window.select_rows({0, 1, 2});
  download_selected(app);
  ASSERT_EQ(fake.executor.waiting_workers(), 2u);
  window.select_rows({3});
  play_selected(app);
  EXPECT_EQ(fake.executor.waiting_workers(), 4u);  // its look on disk, and the sound readied meanwhile
  EXPECT_EQ(title_cell(2), "[等待] 歌3");
  settle();
  EXPECT_EQ(fake.player.calls_without_stop().size(), 1u);
  EXPECT_EQ(window.title(), "当前播放音乐:歌4 [320k]");
  EXPECT_EQ(files(), (std::set<Text>{"歌1.mp3", "歌2.mp3", "歌3.mp3", "歌4.mp3"}));
}

// Closing the window during the downloads stops them: no part file is left, no song is placed, the songs
// waiting never start and the user's files stay.
TEST_F(BatchFlow, ClosingStopsThemAndLeavesNoPartFile) {
  fake.files.put(song("歌2"), "the user's own song");
  fakes::ScriptedDownload cut{mp3, DownloadStatus::ok, 64};
  cut.after_piece = [this](std::size_t bytes) {
    if (bytes == 128) on_main_window_destroying(app);
  };
  fake.downloader.serve(address("1"), cut);
  select_songs(4);
  download_selected(app);
  settle();
  EXPECT_EQ(files(), std::set<Text>{"歌2.mp3"});
  EXPECT_EQ(fake.files.read(song("歌2")), "the user's own song");
  EXPECT_EQ(fake.downloader.requested().size(), 1u);
  EXPECT_EQ(fake.executor.started(), 2);
}

}  // namespace
}  // namespace qiwa
