#include "app/listening.hpp"

#include "app/app_fixture.hpp"
#include "app/lists.hpp"
#include "app/playing.hpp"
#include "app/searching.hpp"
#include "fakes/test_song.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;
using Kind = PlayerEvent::Kind;

// Rows whose id starts with "dead" have no address at the service (serve_addresses).
struct Listening : AppFixture {
  const Text mp3 = fakes::test_song();

  void SetUp() override {
    fake.executor.run_posts_at_once(true);
    serve_addresses(false);
    start_listening(app);
  }

  static SongRow row(Text id, Text title) { return SongRow{id, "p" + id, id, std::move(title), "歌手", "专辑", "netease"}; }
  void serve(std::string_view id) { fake.downloader.serve("http://127.0.0.1:8765/music/netease/" + Text(id) + ".mp3", {mp3}); }
  // The rows of a search, the first one played by a click; everything it starts runs.
  void play_first(std::vector<SongRow> rows) {
    for (const SongRow& r : rows) serve(r.url_id);
    show_rows(std::move(rows));
    play_selected(app);
    settle();
  }
  void ended(std::uint64_t id) { fake.player.raise(PlayerEvent{Kind::drained, id}); settle(); }
  void took_over(std::uint64_t id, std::uint64_t previous) {
    fake.clock.advance(1000);
    fake.player.raise(PlayerEvent{Kind::advanced, id, previous});
    settle();
  }
  std::vector<Text> plays() const {
    std::vector<Text> out;
    for (const Text& c : fake.player.calls())
      if (c.starts_with("play") || c.starts_with("next")) out.push_back(c);
    return out;
  }
  std::vector<Text> history() const {
    const SongList list = app.stores.library.list(LibraryList::history);
    std::vector<Text> titles;
    for (std::size_t i = 0; i < list.size(); ++i) titles.push_back(list.song(i).row.title);
    return titles;
  }
};

// While a song plays, the next row is fetched and set to follow it; when it takes over it is shown,
// marked and kept in the history, and the one after it is fetched. In order, the last row ends the queue.
TEST_F(Listening, TheNextRowIsFetchedAheadAndFollowsWithoutAGap) {
  play_first({row("1", "一"), row("2", "二"), row("3", "三")});
  EXPECT_EQ(plays(), (std::vector<Text>{"play-growing " + song("一") + ".4242-1.part #1", "next " + song("二") + " #2"}));
  EXPECT_EQ(window.playing_row(), 0);
  took_over(2, 1);
  EXPECT_EQ(window.title(), "当前播放音乐:二 [128k]");
  EXPECT_EQ(window.playing_row(), 1);
  EXPECT_EQ(plays().back(), "next " + song("三") + " #3");
  took_over(3, 2);
  EXPECT_EQ(window.title(), "当前播放音乐:三 [128k]");
  EXPECT_EQ(plays().size(), 3u);  // nothing follows the last row
  ended(3);
  EXPECT_EQ(plays().size(), 3u);
  EXPECT_EQ(history(), (std::vector<Text>{"三", "二", "一"}));
  EXPECT_EQ(window.period(Timer::position), 0);  // nothing wakes once nothing plays
  EXPECT_TRUE(window.messages().empty());
}

// With playing on turned off the sound stops with the song: nothing is fetched ahead or played after it.
TEST_F(Listening, WithPlayingOnOffTheSoundStopsWithTheSong) {
  stores.settings.set_auto_next(false);
  play_first({row("1", "一"), row("2", "二")});
  ended(1);
  EXPECT_EQ(plays(), (std::vector<Text>{"play-growing " + song("一") + ".4242-1.part #1"}));
  EXPECT_EQ(files(), (std::set<Text>{"一.mp3"}));
}

// Events of songs the user replaced change nothing.
TEST_F(Listening, EventsOfAnOlderSongAreIgnored) {
  play_first({row("1", "一"), row("2", "二")});
  window.select_row(1);
  play_selected(app);
  settle();
  const std::size_t before = plays().size();
  ended(1);
  took_over(2, 1);
  EXPECT_EQ(plays().size(), before);
  EXPECT_EQ(window.title(), "当前播放音乐:二");
}

// A dead row the queue reaches is skipped with its failure in the title; three in a row stop the queue
// with the box, once. A dead row the user clicks fails with the box at once.
TEST_F(Listening, DeadRowsAreSkippedUntilThreeInARow) {
  play_first({row("1", "一"), row("dead1", "死一"), row("2", "二"), row("dead2", "死二"), row("dead3", "死三"),
              row("dead4", "死四"), row("5", "五")});
  ended(1);  // the dead row fetched ahead failed quietly: the queue reaches it itself
  EXPECT_TRUE(window.messages().empty());
  EXPECT_TRUE(std::find(window.titles().begin(), window.titles().end(), "抱歉，当前歌曲解析失败！ 死一") !=
              window.titles().end());
  EXPECT_EQ(window.playing_row(), 2);
  ended(app.playing_id);
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲解析失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_EQ(window.playing_row(), 5);  // the third dead row in a row: 五 does not play

  window.select_row(1);
  play_selected(app);
  settle();
  EXPECT_EQ(window.messages().size(), 2u);
}

// The mode button cycles the four modes with their names, each kept in the settings; repeat-one follows
// the song with its own file, shuffle plays another row.
TEST_F(Listening, TheModeCyclesAndDecidesWhatFollows) {
  play_first({row("1", "一"), row("2", "二"), row("3", "三")});
  std::vector<Text> names;
  for (int i = 0; i < 4; ++i) {
    cycle_mode(app);
    settle();
    names.push_back(window.mode());
    if (app.queue.mode() == PlayMode::repeat_one) {
      EXPECT_EQ(plays().back(), "next " + song("一") + " #" + std::to_string(app.ahead_id));
    }
    if (app.queue.mode() == PlayMode::shuffle) {
      EXPECT_TRUE(plays().back().find("一") == Text::npos) << plays().back();
      EXPECT_TRUE(plays().back() == "next " + song("二") + " #" + std::to_string(app.ahead_id) ||
                  plays().back() == "next " + song("三") + " #" + std::to_string(app.ahead_id));
    }
  }
  EXPECT_EQ(names, (std::vector<Text>{"列表循环", "单曲循环", "随机播放", "顺序播放"}));
  EXPECT_EQ(stores.settings.play_mode(), PlayMode::in_order);
  cycle_mode(app);
  EXPECT_EQ(stores.settings.play_mode(), PlayMode::repeat_list);
}

// The volume the user leaves is the player's and the next start's; the strip shows it at start.
TEST_F(Listening, TheVolumeIsAppliedAndKept) {
  window.slide_volume(35);
  volume_changed(app);
  EXPECT_EQ(fake.player.volume(), 35);
  EXPECT_EQ(stores.settings.volume(), 35);
  window.set_volume(100);
  start_listening(app);
  EXPECT_EQ(window.volume(), 35);
}

// Next and previous walk the queue; with no queue yet they play the selected row. Stop silences the song,
// and its download, still on its way, keeps its file without playing.
TEST_F(Listening, NextPreviousAndStop) {
  for (const char* id : {"1", "2"}) serve(id);
  show_rows({row("1", "一"), row("2", "二")});
  play_next(app);
  settle();
  EXPECT_EQ(window.title(), "当前播放音乐:一 [128k]");
  play_next(app);
  settle();
  EXPECT_EQ(window.title(), "当前播放音乐:二");
  play_previous(app);
  stop_playing(app);
  settle();
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_FALSE(plays().back().starts_with("play " + song("一")));
  EXPECT_EQ(files(), (std::set<Text>{"一.mp3", "二.mp3"}));
}

// The time shows while the song plays, each tick just after the song's next whole second, and the timer
// stops while it is paused; a seek goes to the player.
TEST_F(Listening, TheTimeFollowsOnlyWhilePlaying) {
  play_first({row("1", "一")});
  EXPECT_GT(window.period(Timer::position), 1000);
  fake.player.set_position(PlayerPosition{1, 61'250, 200'000, 150'000});
  window.fire(Timer::position);
  EXPECT_EQ(window.time(), (SongTime{61'250, 200'000, 150'000}));
  EXPECT_EQ(window.period(Timer::position), 750 + 20);
  toggle_pause(app);
  EXPECT_EQ(window.period(Timer::position), 0);
  toggle_pause(app);
  window.seek_to(90'000);
  seek_to_target(app);
  EXPECT_EQ(fake.player.calls().back(), "seek 90000");
  EXPECT_EQ(window.time().elapsed_ms, 90'000);
}

// A next page joins the queue: once the last row plays, the first new row is fetched to follow it.
TEST_F(Listening, RowsOfANextPageJoinTheQueue) {
  play_first({row("1", "一")});
  EXPECT_EQ(plays().size(), 1u);
  serve("2");
  app.rows.push_back(row("2", "二"));
  rows_added(app);
  settle();
  EXPECT_EQ(plays().back(), "next " + song("二") + " #2");
}

// The library's lists show in the results and play like them; a search's rows that come while another
// list shows wait for the user to come back.
TEST_F(Listening, ListsSwitchAndSearchRowsWait) {
  play_first({row("1", "一"), row("2", "二")});
  window.choose_list(ListKind::recent);
  show_chosen_list(app);
  EXPECT_EQ(window.row_count(), 1);
  EXPECT_EQ(window.rows()[0][3], "一");
  EXPECT_EQ(window.playing_row(), -1);  // the queue is the search's list, not shown now
  window.choose_list(ListKind::search);
  show_chosen_list(app);
  EXPECT_EQ(window.row_count(), 2);
}

}  // namespace
}  // namespace qiwa

namespace qiwa {
namespace {

// A song downloaded before plays from its file at once: no address, no download, no network.
TEST_F(Listening, ASongOnDiskPlaysFromItsFileWithoutTheNetwork) {
  play_first({row("1", "一")});
  const std::size_t asked = fake.service.calls_of("url").size();
  const std::size_t fetched = fake.downloader.requested().size();
  stop_playing(app);
  play_selected(app);
  settle();
  EXPECT_EQ(plays().back(), "play " + song("一") + " #2");
  EXPECT_EQ(fake.service.calls_of("url").size(), asked);
  EXPECT_EQ(fake.downloader.requested().size(), fetched);
  // A row of the songs on disk, a file of the user's own with no ids, plays from its path.
  fake.files.put("C:\\Music\\mine.mp3", mp3);
  SongRow mine{"", "", "", "mine", "", "", "", "C:\\Music\\mine.mp3"};
  show_rows({mine});
  play_selected(app);
  settle();
  EXPECT_EQ(plays().back(), "play C:\\Music\\mine.mp3 #3");
  EXPECT_TRUE(window.messages().empty());
}

// The song playing at exit comes back paused at its place, and plays on at a click; nothing plays by
// itself, and a song whose file went is not put back.
TEST_F(Listening, TheSongPlayingAtExitComesBackPausedAtItsPlace) {
  play_first({row("1", "一"), row("2", "二")});
  fake.player.set_position_ms(83'000);
  keep_playing_place(app);
  ASSERT_TRUE(stores.settings.playing());
  EXPECT_EQ(stores.settings.playing()->position_ms, 83'000);

  AppContext next{window, fake.platform(), stores, "127.0.0.1:8765"};
  next.rows = app.rows;
  restore_playing_place(next);
  settle();
  EXPECT_EQ(plays().back(), "play " + song("一") + " #1 @83000 paused");
  EXPECT_TRUE(window.paused());
  EXPECT_EQ(window.playing_row(), 0);
  EXPECT_EQ(plays().back(), "play " + song("一") + " #1 @83000 paused");  // nothing fetched while paused
  toggle_pause(next);
  settle();
  const std::vector<Text> calls = fake.player.calls();
  EXPECT_EQ(calls.end()[-2], "resume");
  EXPECT_EQ(calls.back(), "next " + song("二") + " #2");  // playing on, the next row comes ahead
  next.plays.stop_all();

  fake.files.remove(song("一"));
  const std::size_t before = plays().size();
  AppContext third{window, fake.platform(), stores, "127.0.0.1:8765"};
  restore_playing_place(third);
  settle();
  EXPECT_EQ(plays().size(), before);
}

}  // namespace
}  // namespace qiwa

namespace qiwa {
namespace {

// Favourites: the selected rows become favourites (marked in the list, listed under 我的收藏), and stop
// being ones when all of them were; the menu offers what fits.
TEST_F(Listening, FavouritesAreMarkedListedAndTakenBack) {
  show_rows({row("1", "一"), row("2", "二"), row("3", "三")});
  window.select_rows({0, 2});
  open_list_menu(app);
  EXPECT_TRUE(window.menu().any_selected && !window.menu().all_favourites && !window.menu().removable);
  toggle_favourites(app);
  EXPECT_EQ(window.favourites(), (std::vector<bool>{true, false, true}));
  open_list_menu(app);
  EXPECT_TRUE(window.menu().all_favourites);
  window.select_rows({1, 2});  // one is, one is not: both become favourites
  toggle_favourites(app);
  EXPECT_EQ(window.favourites(), (std::vector<bool>{true, true, true}));
  window.choose_list(ListKind::favourites);
  show_chosen_list(app);
  EXPECT_EQ(window.row_count(), 3);
  window.select_rows({0});
  toggle_favourites(app);  // taken back in the favourites' list: it leaves it
  EXPECT_EQ(window.row_count(), 2);
}

// "从列表删除" on the songs on disk asks first: No keeps the file, Yes deletes it, Cancel does nothing.
TEST_F(Listening, RemovingALocalSongDeletesItsFileOnlyWhenTheUserSaysSo) {
  play_first({row("1", "一"), row("2", "二")});
  stop_playing(app);
  window.choose_list(ListKind::local);
  show_chosen_list(app);
  ASSERT_EQ(window.row_count(), 2);  // the song played and the one fetched ahead
  window.select_rows({0});
  window.answer_boxes(kAnswerCancel);
  remove_selected(app);
  EXPECT_EQ(window.row_count(), 2);
  window.answer_boxes(kAnswerNo);
  remove_selected(app);
  EXPECT_EQ(window.row_count(), 1);
  EXPECT_EQ(files().size(), 2u);
  window.select_rows({0});
  window.answer_boxes(kAnswerYes);
  remove_selected(app);
  EXPECT_EQ(window.row_count(), 0);
  EXPECT_EQ(files().size(), 1u);
  EXPECT_EQ(window.messages().size(), 3u);
}

}  // namespace
}  // namespace qiwa
