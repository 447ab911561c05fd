#include "app/play_worker.hpp"

#include <condition_variable>

#include "app/actions.hpp"
#include "app/app_fixture.hpp"
#include "app/startup.hpp"
#include "music/id3_tag.hpp"
#include "fakes/test_song.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kSong = "http://127.0.0.1:8765/music/netease/1000.mp3";
constexpr const char* kCover = "http://127.0.0.1:8765/cover/0-red.jpg";

struct PlayFlow : AppFixture {
  unsigned plays = 0;
  const Text mp3 = fakes::test_song();

  void SetUp() override {
    app->current_source.set("netease");
    fake.service.on("url", [](const fakes::ServiceCall& c) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/)" + c.field("id") +
                   R"(.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
    });
    fake.service.on("lyric", [](const fakes::ServiceCall&) {
      return jsonp(R"({"lyric":"[ti:\u6674\u5929]\n[00:00.00]\u6674\u5929\n[00:01.00][00:03.00]chorus\n)"
                   R"([00:02.00]\n[00:04.00]last line","tlyric":"[00:01.00]translated"})");
    });
    fake.service.on_get(kCover, fakes::bytes_response("JPEG cover bytes"));
    fake.downloader.serve(kSong, {mp3});
  }

  // A play of a row, as the click captures it: its token stops the play before.
  PlayRequest request(Text title = "晴天", Text id = "1000", Text source = "netease") {
    return PlayRequest{app->plays.renew(), ++plays,
                       Track{std::move(title), id, "p" + id, id, std::move(source), "周杰伦", "叶惠美"}};
  }
  std::optional<Text> file(std::string_view title) const { return fake.files.read(song(title)); }
  // The part file of the n-th play of this test beside a song's name.
  Text part(const Text& song_path, unsigned n) const {
    return song_path + ".4242-" + std::to_string(n) + ".part";
  }
  // A song file as the program saves it: its tag, then the body as it came.
  static Text saved(const Text& body, Text title = "晴天", Text id = "1000") {
    return fakes::tag_text(
               song_tag(Track{std::move(title), id, "p" + id, id, "netease", "周杰伦", "叶惠美"})) +
           body;
  }
  std::vector<Text> songs_left_at_exit() { return app->downloads.close().songs; }
};

// The sound starts from the part file once a second of the song is there; cover and lyrics come beside
// the rest of the download, and the file ends up whole under the title's name.
TEST_F(PlayFlow, APlayStartsFromTheGrowingFileAndShowsCoverLyricsAndTitles) {
  run_play(*app, request());

  const Text path = song("晴天");
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天"), saved(mp3));
  EXPECT_EQ(fake.player.calls_without_stop(), (std::vector<Text>{"play-growing " + part(path, 1)}));
  const Text early = fake.player.played_contents().at(0);
  EXPECT_GE(early.size(), 8000u);  // 64 kbit/s: a second of it, and the tags before
  EXPECT_LT(early.size(), saved(mp3).size());
  EXPECT_EQ(early, saved(mp3).substr(0, early.size()));
  EXPECT_EQ(window.text(Control::按钮4), "暂停播放");
  EXPECT_TRUE(window.media_key_held());
  EXPECT_EQ(fake.player.growing_state(), SourceState::complete);
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天"}));
  EXPECT_EQ(to_text(window.picture()), "JPEG cover bytes");
  EXPECT_EQ(window.text(Control::编辑框2), "晴天\r\nchorus\r\n\r\nlast line\r\n");
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(fake.downloader.requested(), (std::vector<Text>{kSong}));

  auto calls = fake.service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].url, "http://127.0.0.1:8765/gqss/api.php?callback=jQuery111305848566045983208_1532569697121");
  EXPECT_EQ(calls[0].body, "types=url&id=1000&source=netease");
  EXPECT_EQ(calls[1].body, "types=pic&id=p1000&source=netease");
  EXPECT_EQ(calls[2].method + " " + calls[2].url, "GET " + Text(kCover));
  EXPECT_EQ(calls[3].body, "types=lyric&id=1000&source=netease");
  EXPECT_EQ(songs_left_at_exit(), std::vector<Text>{path});
}

// A song whose last byte comes before a second of it plays from its whole part file, which takes the
// song's name once the player has opened it.
TEST_F(PlayFlow, ASongWholeBeforeASecondOfItPlaysFromItsFile) {
  const Text short_song = fakes::test_song("tone_vbr.mp3");
  fake.downloader.serve(kSong, {short_song});
  run_play(*app, request());
  EXPECT_EQ(fake.player.calls_without_stop(), (std::vector<Text>{"play " + part(song("晴天"), 1) + " 1"}));
  EXPECT_EQ(fake.player.played_contents().at(0), saved(short_song));
  EXPECT_EQ(file("晴天"), saved(short_song));
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天"}));
  EXPECT_EQ(to_text(window.picture()), "JPEG cover bytes");
  EXPECT_EQ(songs_left_at_exit(), std::vector<Text>{song("晴天")});
}

// Cut after the sound started: it stops, the failure shows, and neither part nor song file stays; the
// user's own file of that name is untouched.
TEST_F(PlayFlow, ADownloadCutAfterTheSoundStartedStopsItAndLeavesNothing) {
  fake.files.put(song("晴天"), "the user's own song");
  fake.downloader.serve(kSong, {mp3.substr(0, 20000), DownloadStatus::interrupted});
  run_play(*app, request());
  EXPECT_EQ(fake.player.calls(),
            (std::vector<Text>{"stop", "play-growing " + part(song("晴天 (2)"), 1), "stop"}));
  EXPECT_FALSE(window.media_key_held());
  EXPECT_EQ(fake.player.growing_state(), SourceState::failed);
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "the user's own song");
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_TRUE(songs_left_at_exit().empty());
}

// The user picks another song while this one plays from its growing file: its download stops at once,
// its part file goes, and it shows nothing more.
TEST_F(PlayFlow, ANewerPlayAbortsTheDownloadOfTheSongPlayingEarly) {
  fakes::ScriptedDownload d{mp3};
  std::size_t handed = 0;
  d.after_piece = [&](std::size_t bytes) {
    handed = bytes;
    if (bytes >= 20000 && !fake.player.calls_without_stop().empty()) app->plays.renew();
  };
  fake.downloader.serve(kSong, d);
  run_play(*app, request());
  EXPECT_LT(handed, mp3.size());
  EXPECT_EQ(fake.player.calls_without_stop().size(), 1u);
  EXPECT_EQ(fake.player.growing_state(), SourceState::failed);
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(window.messages().empty());
  EXPECT_TRUE(songs_left_at_exit().empty());
}

// The row's own catalogue, not the one the drop-down shows now, names the song and asks for the M500
// file where that catalogue wants it.
TEST_F(PlayFlow, ARowPlaysWithItsOwnCatalogue) {
  fake.service.on("url", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/h\/)" + c.field("source") + R"(\/M800)" + c.field("id") +
                 R"(.mp3","br":128})");
  });
  fake.downloader.serve("http://h/tencent/M500abc.mp3", {mp3});
  fake.downloader.serve("http://h/netease/M800abc.mp3", {mp3});
  window.choose(0);
  run_play(*app, request("一", "abc", "tencent"));
  window.choose(2);
  run_play(*app, request("二", "abc", "netease"));
  EXPECT_EQ(fake.downloader.requested(),
            (std::vector<Text>{"http://h/tencent/M500abc.mp3", "http://h/netease/M800abc.mp3"}));
  EXPECT_EQ(files(), (std::set<Text>{"一.mp3", "二.mp3"}));
}

TEST_F(PlayFlow, NoAddressShowsTheParseFailureAndTouchesNothing) {
  fake.service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"","size":0,"br":-1})"); });
  run_play(*app, request());
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲解析失败！");
  EXPECT_EQ(window.messages()[0].buttons, kOk);
  EXPECT_EQ(window.messages()[0].caption, kDefaultCaption);
  EXPECT_TRUE(window.titles().empty());
  EXPECT_TRUE(fake.downloader.requested().empty());
  EXPECT_TRUE(fake.player.calls().empty());
  EXPECT_EQ(window.picture_count(), 0);
}

// Every way a download can fail ends the same: the box, the idle title, no file, nothing played, and the
// user's own file of that name as it was, never counted as this run's download.
TEST_F(PlayFlow, AFailedDownloadOrOneThatIsNoSongLeavesTheUsersFileAlone) {
  fake.files.put(song("晴天"), "the user's own song");
  const std::vector<fakes::ScriptedDownload> failures = {
      {"", DownloadStatus::no_connection},
      {"<html>404</html>", DownloadStatus::bad_status},
      {"", DownloadStatus::ok},                                  // an empty body
      {mp3.substr(0, 6000), DownloadStatus::interrupted, 1000},  // cut before a second of it
      {"", DownloadStatus::too_large},
      {"<html><body>Access denied</body></html>"},                     // whole, but no song
      {mp3.substr(0, 7000), DownloadStatus::ok, 1000, {}, {}, false},  // no length, closed cleanly, cut
  };
  for (const auto& failure : failures) {
    fake.downloader.serve(kSong, failure);
    run_play(*app, request());
    EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"}) << describe(failure.status);
  }
  EXPECT_EQ(file("晴天"), "the user's own song");
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  ASSERT_EQ(window.messages().size(), failures.size());
  for (const auto& m : window.messages()) EXPECT_EQ(m.message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.titles().back(), "Qiwa音乐");
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
  window.tick(true);  // the exit clean-up: the user's file is no download of this run
  on_main_window_destroying(*app);
  EXPECT_EQ(file("晴天"), "the user's own song");
}

// No codec for MP3 on this machine: the player opens nothing, and nothing takes the song's place; the
// user's file of that name stays as it was.
TEST_F(PlayFlow, ASongThePlayerCannotPlayIsReportedAndNotKept) {
  fake.files.put(song("晴天"), "the user's own song");
  fake.player.fail_every_play(true);
  for (Text body : {mp3, fakes::test_song("tone_vbr.mp3")}) {  // one tried early, one whole first
    fake.downloader.serve(kSong, {body});
    run_play(*app, request());
  }
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "the user's own song");
  ASSERT_EQ(window.messages().size(), 2u);
  EXPECT_EQ(window.messages()[1].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_FALSE(window.media_key_held());
  EXPECT_TRUE(songs_left_at_exit().empty());
}

TEST_F(PlayFlow, AnUnwritableRunDirectoryIsADownloadFailure) {
  fake.files.refuse(app->run_directory);
  run_play(*app, request());
  EXPECT_TRUE(fake.downloader.requested().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
}

TEST_F(PlayFlow, AFullDiskLeavesNothing) {
  fake.files.fill_disk_after(1000);
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, HostileTitlesStayInTheRunDirectory) {
  for (const char* title : {"..\\..\\escape", "a/b:c*d?e\"f<g>h|i", "CON", "  dots... ", ""})
    run_play(*app, request(title));
  EXPECT_EQ(files(), (std::set<Text>{".._.._escape.mp3", "a_b_c_d_e_f_g_h_i.mp3", "_CON.mp3", "dots.mp3", "_.mp3"}));
  EXPECT_TRUE(fake.files.names_in("C:").empty());  // nothing beside the run directory
  EXPECT_EQ(window.title(), "当前播放音乐:");       // the last title was empty
}

// The user's own 晴天.mp3 (not a song at all) is left byte for byte: the download takes the next free
// name, and only that file is this run's for the exit clean-up.
TEST_F(PlayFlow, AUsersFileOfTheSongsNameIsNeverTouched) {
  fake.files.put(song("晴天"), "ID3 a few bytes of the user's");
  run_play(*app, request());
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3", "晴天 (2).mp3"}));
  EXPECT_EQ(file("晴天 (2)"), saved(mp3));
  EXPECT_EQ(window.title(), "当前播放音乐:晴天");
  window.tick(true);
  on_main_window_destroying(*app);
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "ID3 a few bytes of the user's");
}

// A song saved whole before, by this run or another, plays from its file at once: nothing is asked of the
// service before the sound, nothing is downloaded, and the service may be gone altogether.
TEST_F(PlayFlow, ASongSavedBeforePlaysFromItsFileWithoutTheService) {
  run_play(*app, request());
  fake.service.on("url",
                  [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>no network</html>"); });
  run_play(*app, request());
  EXPECT_EQ(fake.downloader.requested().size(), 1u);
  EXPECT_EQ(fake.service.calls_of("url").size(), 1u);
  EXPECT_EQ(fake.player.calls_without_stop().back(), "play " + song("晴天") + " 1");
  EXPECT_EQ(window.title(), "当前播放音乐:晴天");
  EXPECT_EQ(to_text(window.picture()), "JPEG cover bytes");
  EXPECT_TRUE(window.messages().empty());

  fakes::FakePlatform other_run;  // the next start finds it too, and does not count it as its own
  other_run.files.put(song("晴天"), *file("晴天"));
  auto next = std::make_shared<AppContext>(window, other_run.platform(), "127.0.0.1:8765");
  run_play(*next, PlayRequest{next->plays.renew(), 1, request().track});
  EXPECT_TRUE(other_run.downloader.requested().empty());
  EXPECT_EQ(other_run.player.calls_without_stop(), std::vector<Text>{"play " + song("晴天") + " 1"});
  EXPECT_TRUE(next->downloads.close().songs.empty());
}

// A new song starts unpaused: after pausing one and playing the next, 按钮4 reads "暂停播放" again.
TEST_F(PlayFlow, ANewSongResetsThePauseButton) {
  run_play(*app, request());
  toggle_pause(*app);
  EXPECT_EQ(window.text(Control::按钮4), "继续播放");
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2000.mp3", {mp3});
  run_play(*app, request("江南", "2000"));
  EXPECT_EQ(window.text(Control::按钮4), "暂停播放");
  toggle_pause(*app);
  EXPECT_EQ(fake.player.calls().back(), "pause");
}

TEST_F(PlayFlow, ANewerPlayDuringTheDownloadSilencesTheOlderOne) {
  fakes::ScriptedDownload slow{mp3, DownloadStatus::ok, 1000};
  slow.before = [this] { app->plays.renew(); };  // the user chose another song meanwhile
  fake.downloader.serve(kSong, slow);
  run_play(*app, request());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_TRUE(files().empty());
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！"}));
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
  EXPECT_TRUE(window.messages().empty());
}

TEST_F(PlayFlow, ANewerPlayAfterTheDownloadKeepsTheFileButShowsNothing) {
  fake.downloader.serve(kSong, {fakes::test_song("tone_vbr.mp3")});
  fake.service.on("pic", [this](const fakes::ServiceCall&) {
    app->plays.renew();
    return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
  });
  run_play(*app, request());
  EXPECT_EQ(fake.player.calls_without_stop().size(), 1u);
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
  EXPECT_EQ(window.titles().back(), "歌曲缓冲中，请稍等！！");
}

// A gate a download waits at until the test opens it.
class Gate {
 public:
  void wait() {
    std::unique_lock lock(mutex_);
    reached_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void wait_reached() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reached_; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reached_ = false, open_ = false;
};

// The order forced: the older play's download ends only after the newer play has begun. It then
// reaches neither the player nor the picture nor the lyrics box, whatever the timing.
TEST_F(PlayFlow, AnOlderPlayNeverReachesThePlayerOnceANewerOneHasStarted) {
  Gate gate;
  fakes::ScriptedDownload held{mp3};
  held.before = [&gate] { gate.wait(); };
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/1.mp3", held);
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2.mp3", {fakes::test_song("tone_vbr.mp3")});
  fake.service.on("pic", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/)" + c.field("id") + R"(.jpg"})");
  });
  fake.service.on_get("http://127.0.0.1:8765/cover/p1.jpg", fakes::bytes_response("first cover"));
  fake.service.on_get("http://127.0.0.1:8765/cover/p2.jpg", fakes::bytes_response("second cover"));

  std::thread older([&, r = request("一", "1")] { run_play(*app, r); });
  gate.wait_reached();
  run_play(*app, request("二", "2"));
  gate.open();
  older.join();

  EXPECT_EQ(fake.player.calls_without_stop(), std::vector<Text>{"play " + part(song("二"), 2) + " 1"});
  EXPECT_EQ(to_text(window.picture()), "second cover");
  EXPECT_EQ(window.picture_count(), 1);
  EXPECT_EQ(window.title(), "当前播放音乐:二");
  EXPECT_EQ(window.text(Control::编辑框2), "晴天\r\nchorus\r\n\r\nlast line\r\n");  // once, the newer's
  EXPECT_EQ(files(), std::set<Text>{"二.mp3"});  // the older download was stopped
}

// A play superseded between its failure and the box shows no box: the check and the box are one step.
TEST_F(PlayFlow, ASupersededPlaysFailureBoxNeverAppears) {
  fake.downloader.serve(kSong, {"", DownloadStatus::no_connection});
  std::stop_token first;
  window.on_invoked([&] {
    if (window.title() == "Qiwa音乐" && !first.stop_requested()) app->plays.renew();
  });
  window.on_message([&](const fakes::ShownMessage&) {
    EXPECT_FALSE(first.stop_requested()) << "a box after a newer play";
  });
  PlayRequest r = request();
  first = r.stop;
  run_play(*app, r);
  EXPECT_TRUE(first.stop_requested());
}

TEST_F(PlayFlow, AfterTheWindowClosesNothingIsWrittenOrPlayed) {
  fakes::ScriptedDownload d{mp3};
  d.before = [this] { on_main_window_destroying(*app); };  // closed during the download
  fake.downloader.serve(kSong, d);
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());

  window.close();
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(window.messages().empty());
}

// The taskbar button shows the download's share (or that it runs, without a length) and loses the bar at
// its end, whichever way it ends.
TEST_F(PlayFlow, TheTaskbarShowsTheDownloadsProgressUntilItEnds) {
  using State = TaskbarProgress::State;
  run_play(*app, request());
  std::vector<TaskbarProgress> shown = window.taskbar();
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.back().state, State::hidden);
  std::uint64_t last = 0;
  for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
    EXPECT_EQ(shown[i].state, State::known);
    EXPECT_EQ(shown[i].total, mp3.size());
    EXPECT_GT(shown[i].done, last);
    last = shown[i].done;
  }
  EXPECT_EQ(last, mp3.size());

  fakes::ScriptedDownload unsized{mp3};
  unsized.declares_length = false;
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2000.mp3", unsized);
  const std::size_t before = window.taskbar().size();
  run_play(*app, request("江南", "2000"));
  shown = window.taskbar();
  ASSERT_EQ(shown.size(), before + 2);  // one "running" bar, however many pieces come
  EXPECT_EQ(shown[before].state, State::unknown);
  EXPECT_EQ(shown.back().state, State::hidden);

  fake.downloader.serve("http://127.0.0.1:8765/music/netease/3000.mp3",
                        {mp3.substr(0, 20000), DownloadStatus::interrupted});
  run_play(*app, request("后来", "3000"));
  EXPECT_EQ(window.taskbar().back().state, State::hidden);
  EXPECT_EQ(window.messages().back().message, "抱歉，当前歌曲下载失败！");
}

}  // namespace
}  // namespace qiwa
