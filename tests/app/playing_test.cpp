#include "app/playing.hpp"

#include "app/app_fixture.hpp"
#include "app/listening.hpp"
#include "app/startup.hpp"
#include "music/kept_tag.hpp"
#include "music/lrc.hpp"
#include "runtime/mp3_frames.hpp"
#include "fakes/test_song.hpp"
#include "music/track.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kSong = "http://127.0.0.1:8765/music/netease/1000.mp3";
constexpr const char* kCover = "http://127.0.0.1:8765/cover/0-red.jpg";
constexpr const char* kCoverBytes = "\xFF\xD8\xFF JPEG cover bytes";
constexpr const char* kLyric = "[ti:晴天]\n[00:00.00]晴天\n[00:01.00][00:03.00]chorus\n[00:02.00]\n[00:04.00]last line";

struct PlayFlow : AppFixture {
  const Text mp3 = fakes::test_song();

  void SetUp() override {
    fake.executor.run_posts_at_once(true);  // the window's thread keeps up with every piece
    fake.service.on("url", [](const fakes::ServiceCall& c) {
      if (c.field("id").empty()) return jsonp(R"({"url":"","size":0,"br":-1})");  // no such song
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/)" + c.field("source") + R"(\/)" + c.field("id") +
                   R"(.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
    });
    fake.service.on("lyric", [](const fakes::ServiceCall&) {
      return jsonp(R"({"lyric":"[ti:\u6674\u5929]\n[00:00.00]\u6674\u5929\n[00:01.00][00:03.00]chorus\n)"
                   R"([00:02.00]\n[00:04.00]last line","tlyric":"[00:01.00]translated"})");  // kLyric
    });
    fake.service.on_get(kCover, fakes::bytes_response(kCoverBytes));
    fake.downloader.serve(kSong, {mp3});
  }

  // The user selects a row of these ids and plays it; everything it starts runs.
  void play(Text title = "晴天", Text id = "1000", Text source = "netease") {
    click(std::move(title), std::move(id), std::move(source));
    settle();
  }
  // The click alone: its workers wait for the test.
  void click(Text title = "晴天", Text id = "1000", Text source = "netease") {
    show_rows({SongRow{id, "p" + id, id, std::move(title), "singer", "album", std::move(source)}});
    play_selected(app);
  }
  // The part file of the n-th play beside a song's name: this process's, numbered by the play.
  Text part_of(std::string_view title, int play) const {
    return song(title) + ".4242-" + std::to_string(play) + ".part";
  }
  static Track track_of(Text title, const Text& id) { return {std::move(title), id, "p" + id, id, "netease", "singer", "album"}; }
  // A song file as the program downloads it: its tag, then the body as it came.
  static Text downloaded(const Text& body, Text title = "晴天", Text id = "1000") {
    return fakes::tag_text(song_tag(track_of(std::move(title), id))) + body;
  }
  // A song file as the program keeps it: the whole tag, with cover and lyrics, in place of the tags the
  // body began with, then the body's audio.
  static Text saved(const Text& body, Text title = "晴天", Text id = "1000") {
    const Text cover = kCoverBytes;
    const SongExtras extras{Bytes(cover.begin(), cover.end()), read_lyrics(kLyric), {}};
    const std::size_t tags = id3v2_size(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    return fakes::tag_text(kept_tag(track_of(std::move(title), id), extras, {})) + body.substr(tags);
  }
  std::optional<Text> file(std::string_view title) const { return fake.files.read(song(title)); }
  std::vector<Text> songs_left_at_exit() { return app.downloads.close().songs; }
};

// The sound starts from the part file once a second of the song is there; cover and lyrics come beside
// the rest of the download, and the file ends up whole under the title's name.
TEST_F(PlayFlow, APlayStartsFromTheGrowingFileAndShowsCoverLyricsAndTitles) {
  play();
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天"), saved(mp3));
  EXPECT_EQ(fake.player.calls_without_stop(),
            (std::vector<Text>{"play-growing " + part_of("晴天", 1) + " #1"}));
  const Text early = fake.player.played_contents().at(0);
  EXPECT_GE(early.size(), 8000u);  // 64 kbit/s: a second of it, and the tags before
  EXPECT_LT(early.size(), downloaded(mp3).size());
  EXPECT_EQ(early, downloaded(mp3).substr(0, early.size()));
  EXPECT_TRUE(window.media_key_held());
  EXPECT_EQ(fake.player.growing_state(), SourceState::complete);
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天 [128k]"}));
  EXPECT_EQ(to_text(window.cover()), kCoverBytes);
  EXPECT_EQ(window.lyrics(), "晴天\r\nchorus\r\n\r\nlast line\r\n");
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(fake.downloader.requested(), (std::vector<Text>{kSong}));
  EXPECT_EQ(fake.player.prepares(), 1);  // the sound system, readied beside the first download

  auto calls = fake.service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].url, "http://127.0.0.1:8765/gqss/api.php?callback=jQuery111305848566045983208_1532569697121");
  EXPECT_EQ(calls[0].body, "types=url&id=1000&source=netease&br=320");
  EXPECT_EQ(calls[1].body, "types=pic&id=p1000&source=netease");
  EXPECT_EQ(calls[2].method + " " + calls[2].url, "GET " + Text(kCover));
  EXPECT_EQ(calls[3].body, "types=lyric&id=1000&source=netease");
  EXPECT_EQ(songs_left_at_exit(), std::vector<Text>{song("晴天")});

  play();
  EXPECT_EQ(fake.player.prepares(), 1);  // later plays find it ready
}

// A song whose last byte comes before a second of it is played whole from its place.
TEST_F(PlayFlow, ASongWholeBeforeASecondOfItPlaysFromItsFile) {
  const Text short_song = fakes::test_song("tone_vbr.mp3");
  fake.downloader.serve(kSong, {short_song});
  play();
  // The whole part file is played first; only a song the player opened takes the name.
  EXPECT_EQ(fake.player.calls_without_stop(), (std::vector<Text>{"play " + part_of("晴天", 1) + " #1"}));
  EXPECT_EQ(fake.player.played_contents().at(0), downloaded(short_song));
  EXPECT_EQ(file("晴天"), saved(short_song));
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天 [128k]"}));
  EXPECT_EQ(to_text(window.cover()), kCoverBytes);
  EXPECT_EQ(songs_left_at_exit(), std::vector<Text>{song("晴天")});
}

// Cut after the sound started: it stops, the failure shows, and neither part nor song file stays; the
// user's own file of that name is untouched.
TEST_F(PlayFlow, ADownloadCutAfterTheSoundStartedStopsItAndLeavesNothing) {
  fake.files.put(song("晴天"), "the user's own song");
  fake.downloader.serve(kSong, {mp3.substr(0, 20000), DownloadStatus::interrupted});
  play();
  EXPECT_EQ(fake.player.calls(), (std::vector<Text>{"play-growing " + part_of("晴天", 1) + " #1", "stop"}));
  EXPECT_EQ(fake.player.growing_state(), SourceState::failed);
  EXPECT_FALSE(window.media_key_held());
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "the user's own song");
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_TRUE(window.lyrics().empty());  // nothing of it came after the failure
  EXPECT_TRUE(songs_left_at_exit().empty());
}

// The user picks another song while this one plays from its growing file: its download stops at once,
// its part file goes, and it shows nothing more.
TEST_F(PlayFlow, ANewerPlayAbortsTheDownloadOfTheSongPlayingEarly) {
  fakes::ScriptedDownload d{mp3};
  std::size_t handed = 0;
  d.after_piece = [&](std::size_t bytes) {
    handed = bytes;
    if (bytes >= 20000 && !fake.player.calls_without_stop().empty()) app.plays.renew();
  };
  fake.downloader.serve(kSong, d);
  play();
  EXPECT_LT(handed, mp3.size());
  EXPECT_EQ(fake.player.calls_without_stop().size(), 1u);
  EXPECT_EQ(fake.player.growing_state(), SourceState::failed);
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(window.messages().empty());
  EXPECT_TRUE(songs_left_at_exit().empty());
}

// Below 320 kbps the "M500" file is asked for by the catalogue the row came from, whatever the drop-down
// shows.
TEST_F(PlayFlow, ARowOfQqMusicAsksForTheM500FileWhateverTheDropDownShows) {
  stores.settings.set_quality_kbps(128);
  fake.service.on("url", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/h\/music\/)" + c.field("source") + R"(\/M80000abc.mp3","size":27,"br":128})");
  });
  fake.downloader.serve("http://h/music/tencent/M50000abc.mp3", {mp3});
  fake.downloader.serve("http://h/music/netease/M80000abc.mp3", {mp3});
  window.choose(0);
  play("晴天", "1000", "tencent");
  window.choose(2);
  play("晴天", "1000", "netease");
  EXPECT_EQ(fake.downloader.requested(),
            (std::vector<Text>{"http://h/music/tencent/M50000abc.mp3", "http://h/music/netease/M80000abc.mp3"}));
  EXPECT_EQ(fake.service.calls_of("url").at(0).field("source"), "tencent");
}

// The quality chosen goes in the address request; the title says what the service gave, and nothing when it
// did not say. A QQ音乐 row keeps its "M800" file at 320 kbps only.
TEST_F(PlayFlow, TheQualityChosenIsAskedAndTheBitRateGivenIsShown) {
  fake.service.on("url", [](const fakes::ServiceCall& c) {
    const Text br = c.field("br") == "320" ? "192" : c.field("br");  // no higher quality than 192 here
    const Text tail = c.field("id") == "3" ? "}" : R"(,"br":)" + br + "}";  // song 3's service says nothing
    return jsonp(R"({"url":"http:\/\/h\/)" + c.field("source") + R"(\/M800)" + c.field("id") + R"(.mp3","size":27)" + tail);
  });
  for (const char* at : {"http://h/netease/M8001.mp3", "http://h/netease/M8002.mp3", "http://h/netease/M8003.mp3",
                         "http://h/tencent/M8004.mp3", "http://h/tencent/M5005.mp3"})
    fake.downloader.serve(at, {mp3});
  struct Case {
    int quality;
    Text id, source, title;
  };
  const Case cases[] = {{320, "1", "netease", "当前播放音乐:一 [192k]"},
                        {128, "2", "netease", "当前播放音乐:二 [128k]"},
                        {192, "3", "netease", "当前播放音乐:三"},
                        {320, "4", "tencent", "当前播放音乐:四 [192k]"},
                        {192, "5", "tencent", "当前播放音乐:五 [128k]"}};
  const char* titles[] = {"一", "二", "三", "四", "五"};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].title);
    stores.settings.set_quality_kbps(cases[i].quality);
    play(titles[i], cases[i].id, cases[i].source);
    EXPECT_EQ(fake.service.calls_of("url").at(i).field("br"), std::to_string(cases[i].quality));
    EXPECT_EQ(window.title(), cases[i].title);
  }
  EXPECT_EQ(fake.downloader.requested().back(), "http://h/tencent/M5005.mp3");
  EXPECT_TRUE(window.messages().empty());
}

TEST_F(PlayFlow, NoAddressShowsTheParseFailureAndTouchesNothing) {
  fake.service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"","size":0,"br":-1})"); });
  play();
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲解析失败！");
  EXPECT_EQ(window.messages()[0].buttons, kOk);
  EXPECT_EQ(window.messages()[0].caption, kDefaultCaption);
  EXPECT_TRUE(window.titles().empty());
  EXPECT_TRUE(fake.downloader.requested().empty());
  EXPECT_EQ(fake.player.calls_without_stop().size(), 0u);
  EXPECT_EQ(window.covers_shown(), 0);
}

// Nothing selected: the click still clears the lyrics, and the empty song cannot be resolved.
TEST_F(PlayFlow, APlayWithNoRowSelectedIsAParseFailure) {
  window.add_lyrics("old lyrics");
  play_selected(app);
  EXPECT_TRUE(window.lyrics().empty());  // cleared at the click, before any worker ran
  settle();
  EXPECT_EQ(fake.service.calls_of("url").at(0).body, "types=url&id=&source=&br=320");
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲解析失败！");
}

// Every way a download can fail ends the same: the box, the idle title, no file, nothing played, and the
// user's own file of that name as it was, never counted as this run's download.
TEST_F(PlayFlow, AFailedDownloadOrOneThatIsNoSongLeavesTheUsersFileAlone) {
  fake.files.put(song("晴天"), "the user's own song");
  const std::vector<fakes::ScriptedDownload> failures = {
      {"", DownloadStatus::no_connection},
      {"<html>404</html>", DownloadStatus::bad_status},
      {"", DownloadStatus::ok},  // an empty body
      {mp3.substr(0, 6000), DownloadStatus::interrupted, 1000},  // cut before a second of it
      {"", DownloadStatus::too_large},
      {"<html><body>Access denied</body></html>"},  // whole, but no song
  };
  for (const auto& failure : failures) {
    fake.downloader.serve(kSong, failure);
    play();
    EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"}) << describe(failure.status);
  }
  EXPECT_EQ(file("晴天"), "the user's own song");
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  ASSERT_EQ(window.messages().size(), failures.size());
  for (const auto& m : window.messages()) EXPECT_EQ(m.message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.titles().back(), "Qiwa音乐");
  EXPECT_EQ(window.covers_shown(), 0);
  EXPECT_TRUE(window.lyrics().empty());
  window.tick_delete_on_exit(true);  // the exit clean-up: the user's file is no download of this run
  on_main_window_destroying(app);
  EXPECT_EQ(file("晴天"), "the user's own song");
}

// No codec for MP3 on this machine: the player opens nothing, and nothing takes the song's place; the
// user's file of that name stays as it was.
TEST_F(PlayFlow, ASongThePlayerCannotPlayIsReportedAndNotKept) {
  fake.files.put(song("晴天"), "the user's own song");
  fake.player.fail_every_play(true);
  for (Text body : {mp3, fakes::test_song("tone_vbr.mp3")}) {  // one tried early, one whole first
    fake.downloader.serve(kSong, {body});
    play();
  }
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "the user's own song");
  ASSERT_EQ(window.messages().size(), 2u);
  EXPECT_EQ(window.messages()[1].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
  EXPECT_FALSE(window.media_key_held());
  EXPECT_TRUE(songs_left_at_exit().empty());
}

// The player opened the growing file but then told it could not play it (no device for its format): the
// whole download is not kept either, and the key goes back to other programs.
TEST_F(PlayFlow, ASongThePlayerToldItCouldNotOpenIsNotKept) {
  start_listening(app);
  fakes::ScriptedDownload d{mp3};
  d.after_piece = [&, told = false](std::size_t bytes) mutable {
    if (told || bytes < 20000 || fake.player.calls_without_stop().empty()) return;
    told = true;
    fake.player.raise({PlayerEvent::Kind::open_failed, 1});
  };
  fake.downloader.serve(kSong, d);
  play();
  EXPECT_TRUE(files().empty());
  EXPECT_FALSE(window.media_key_held());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
  EXPECT_TRUE(songs_left_at_exit().empty());
}

TEST_F(PlayFlow, AnUnwritableRunDirectoryIsADownloadFailure) {
  fake.files.refuse(app.run_directory);
  play();
  EXPECT_TRUE(fake.downloader.requested().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
}

TEST_F(PlayFlow, AFullDiskLeavesNothing) {
  fake.files.fill_disk_after(1000);
  play();
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, HostileTitlesStayInTheRunDirectory) {
  int id = 2000;  // songs of their own: a song saved before would play from its file
  for (const char* title : {"..\\..\\escape", "a/b:c*d?e\"f<g>h|i", "CON", "  dots... ", ""}) {
    ++id;
    fake.downloader.serve("http://127.0.0.1:8765/music/netease/" + std::to_string(id) + ".mp3", {mp3});
    play(title, std::to_string(id));
  }
  EXPECT_EQ(files(), (std::set<Text>{".._.._escape.mp3", "a_b_c_d_e_f_g_h_i.mp3", "_CON.mp3", "dots.mp3", "_.mp3"}));
  EXPECT_TRUE(fake.files.names_in("C:").empty());  // nothing beside the run directory
  EXPECT_EQ(window.title(), "当前播放音乐: [128k]");  // the last title was empty
}

// The user's own 晴天.mp3 (not a song at all) is left byte for byte: the download takes the next free
// name, and only that file is this run's for the exit clean-up. Another singer's 晴天 takes the next.
TEST_F(PlayFlow, AUsersFileOfTheSongsNameIsNeverTouched) {
  fake.files.put(song("晴天"), "ID3 a few bytes of the user's");
  play();
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3", "晴天 (2).mp3"}));
  EXPECT_EQ(file("晴天 (2)"), saved(mp3));
  EXPECT_EQ(window.title(), "当前播放音乐:晴天 [128k]");
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2000.mp3", {mp3});
  play("晴天", "2000");
  EXPECT_EQ(file("晴天 (3)"), saved(mp3, "晴天", "2000"));
  window.tick_delete_on_exit(true);
  on_main_window_destroying(app);
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(file("晴天"), "ID3 a few bytes of the user's");
}

// A song saved whole before, by this run or another, plays from its file at once: nothing is asked of the
// service before the sound, nothing is downloaded, and the service may be gone altogether.
TEST_F(PlayFlow, ASongSavedBeforePlaysFromItsFileWithoutTheService) {
  play();
  fake.service.on("url",
                  [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>no network</html>"); });
  play();
  EXPECT_EQ(fake.downloader.requested().size(), 1u);
  EXPECT_EQ(fake.service.calls_of("url").size(), 1u);
  EXPECT_EQ(fake.player.calls_without_stop().back(), "play " + song("晴天") + " #2");
  EXPECT_TRUE(window.media_key_held());
  EXPECT_EQ(window.title(), "当前播放音乐:晴天");
  EXPECT_EQ(to_text(window.cover()), kCoverBytes);
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(songs_left_at_exit(), std::vector<Text>{song("晴天")}) << "the first play's download only";
}

// The settings' folder and name pattern: the next free name is found there, in that pattern.
TEST_F(PlayFlow, SongsGoToTheChosenFolderUnderTheChosenPattern) {
  fake.files.make_directories("D:\\歌");
  stores.settings.set_download_folder("D:\\歌");
  stores.settings.set_name_pattern(NamePattern::singer_title);
  fake.files.put("D:\\歌\\singer - 晴天.mp3", "the user's");
  play();
  EXPECT_EQ(fake.files.names_in("D:\\歌"), (std::set<Text>{"singer - 晴天.mp3", "singer - 晴天 (2).mp3"}));
  EXPECT_EQ(fake.files.read("D:\\歌\\singer - 晴天 (2).mp3"), saved(mp3));
  EXPECT_TRUE(files().empty());
  play();  // saved before, under that name: played from it
  EXPECT_EQ(fake.downloader.requested().size(), 1u);
  EXPECT_EQ(fake.player.calls_without_stop().back(), "play D:\\歌\\singer - 晴天 (2).mp3 #2");
}

TEST_F(PlayFlow, ANewerPlayDuringTheDownloadSilencesTheOlderOne) {
  fakes::ScriptedDownload slow{mp3, DownloadStatus::ok, 1000};
  slow.before = [this] { app.plays.renew(); };  // the user chose another song meanwhile
  fake.downloader.serve(kSong, slow);
  play();
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_TRUE(files().empty());
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！"}));
  EXPECT_EQ(window.covers_shown(), 0);
  EXPECT_TRUE(window.lyrics().empty());
  EXPECT_TRUE(window.messages().empty());
}

TEST_F(PlayFlow, ANewerPlayAfterTheDownloadKeepsTheFileButShowsNothing) {
  fake.downloader.serve(kSong, {fakes::test_song("tone_vbr.mp3")});
  fake.service.on("pic", [this](const fakes::ServiceCall&) {
    app.plays.renew();
    return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
  });
  play();
  EXPECT_EQ(fake.player.calls_without_stop().size(), 1u);
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3"}));
  EXPECT_EQ(window.covers_shown(), 0);
  EXPECT_TRUE(window.lyrics().empty());
  EXPECT_EQ(window.titles().back(), "歌曲缓冲中，请稍等！！");
}

// The order forced: the older play's download ends only after the newer play has begun. It then reaches
// neither the player nor the picture nor the lyrics box.
TEST_F(PlayFlow, AnOlderPlayNeverReachesThePlayerOnceANewerOneHasStarted) {
  fake.executor.run_posts_at_once(false);
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/1.mp3", {fakes::test_song("tone_vbr.mp3")});
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2.mp3", {fakes::test_song("tone_vbr.mp3")});
  fake.service.on("pic", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/)" + c.field("id") + R"(.jpg"})");
  });
  fake.service.on_get("http://127.0.0.1:8765/cover/p1.jpg", fakes::bytes_response("first cover"));
  fake.service.on_get("http://127.0.0.1:8765/cover/p2.jpg", fakes::bytes_response("second cover"));

  click("一", "1");
  fake.executor.run_next_worker();  // its address
  fake.executor.run_next_worker();  // the sound system readied
  fake.executor.run_posted();       // its download begins
  fake.executor.run_next_worker();  // ... and ends: its song waits to be put in place and played
  click("二", "2");
  settle();

  EXPECT_EQ(fake.player.calls_without_stop(), std::vector<Text>{"play " + part_of("二", 2) + " #2"});
  EXPECT_EQ(to_text(window.cover()), "second cover");
  EXPECT_EQ(window.covers_shown(), 1);
  EXPECT_EQ(window.title(), "当前播放音乐:二 [128k]");
  EXPECT_EQ(window.lyrics(), "晴天\r\nchorus\r\n\r\nlast line\r\n");  // once, the newer's
  EXPECT_EQ(files(), (std::set<Text>{"一.mp3", "二.mp3"}));  // the older one's file is kept, unplayed
}

// A failure of a superseded play is never shown, however late it comes.
TEST_F(PlayFlow, TheFailureOfASupersededPlayNeverShows) {
  fake.executor.run_posts_at_once(false);
  fake.service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"","size":0,"br":-1})"); });
  click("一", "1");
  fake.executor.run_next_worker();  // its empty address is on its way to the window
  click("二", "2");
  settle();
  ASSERT_EQ(window.messages().size(), 1u);  // the newer one's
}

TEST_F(PlayFlow, AfterTheWindowClosesNothingIsWrittenOrPlayed) {
  fakes::ScriptedDownload d{mp3};
  d.before = [this] { on_main_window_destroying(app); };  // closed during the download
  fake.downloader.serve(kSong, d);
  play();
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_TRUE(window.messages().empty());
}

TEST_F(PlayFlow, ANewSongStartsUnpaused) {
  toggle_pause(app);
  EXPECT_TRUE(window.paused());
  play();
  EXPECT_FALSE(window.paused());
  toggle_pause(app);
  toggle_pause(app);
  EXPECT_EQ(fake.player.calls_without_stop(),
            (std::vector<Text>{"pause", "play-growing " + part_of("晴天", 1) + " #1", "pause", "resume"}));
}

// The media key is held while a song is loaded, playing or paused, and left to other programs once the
// player says the song ended; an older song's end, told after a newer song started, leaves it held.
TEST_F(PlayFlow, TheMediaKeyIsHeldOnlyWhileASongIsLoaded) {
  start_listening(app);
  EXPECT_FALSE(window.media_key_held());
  play();
  toggle_pause(app);
  EXPECT_TRUE(window.media_key_held());
  fake.player.raise({PlayerEvent::Kind::drained, 1});
  settle();
  EXPECT_FALSE(window.media_key_held());

  play();  // saved before: it starts from its file
  fake.player.raise({PlayerEvent::Kind::drained, 1});  // the first song's, late
  settle();
  EXPECT_TRUE(window.media_key_held());
}

// The taskbar button shows the download's share (or that it runs, without a length) and loses the bar at
// its end, whichever way it ends.
TEST_F(PlayFlow, TheTaskbarShowsTheDownloadsProgressUntilItEnds) {
  using State = TaskbarProgress::State;
  play();
  std::vector<TaskbarProgress> shown = window.taskbar();
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.front().state, State::hidden);  // the click takes down an older bar
  EXPECT_EQ(shown.back().state, State::hidden);
  std::uint64_t last = 0;
  for (std::size_t i = 1; i + 1 < shown.size(); ++i) {
    EXPECT_EQ(shown[i].state, State::known);
    EXPECT_EQ(shown[i].total, mp3.size());  // the body's bytes; the tag before them is the program's
    EXPECT_GT(shown[i].done, last);
    last = shown[i].done;
  }
  EXPECT_EQ(last, mp3.size());

  fakes::ScriptedDownload unsized{mp3};
  unsized.declares_length = false;
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2000.mp3", unsized);  // another song: none saved
  const std::size_t before = window.taskbar().size();
  play("晴天", "2000");
  shown = window.taskbar();
  ASSERT_EQ(shown.size(), before + 3);  // the click's, one "running" bar however many pieces come, the end's
  EXPECT_EQ(shown[before + 1].state, State::unknown);
  EXPECT_EQ(shown.back().state, State::hidden);

  fake.downloader.serve("http://127.0.0.1:8765/music/netease/3000.mp3",
                        {mp3.substr(0, 20000), DownloadStatus::interrupted});
  play("晴天", "3000");
  EXPECT_EQ(window.taskbar().back().state, State::hidden);
  EXPECT_EQ(window.messages().back().message, "抱歉，当前歌曲下载失败！");
}

// Once the song is whole and its cover and lyrics are known, a worker gives the kept file its whole tag
// and, with the setting on, the lyrics beside it; the window's thread never writes the song. Played again,
// nothing is rewritten, and a ".lrc" of the user's is kept.
TEST_F(PlayFlow, AKeptSongGetsItsWholeTagAndItsLrcFromAWorker) {
  stores.settings.set_save_lrc(true);
  click();
  while (fake.executor.run_next_worker() && !fake.files.exact_exists(song("晴天"))) {
  }
  fake.executor.run_posted();
  EXPECT_EQ(file("晴天"), downloaded(mp3)) << "whole and placed, not yet retagged on the window's thread";
  settle();
  EXPECT_EQ(file("晴天"), saved(mp3));
  EXPECT_EQ(fake.files.read(app.run_directory + "\\晴天.lrc"), lrc_text(read_lyrics(kLyric)));
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3", "晴天.lrc"}));
  EXPECT_EQ(fake.player.played_contents().at(0), downloaded(mp3).substr(0, fake.player.played_contents().at(0).size()));
  const std::size_t created = fake.files.created().size();
  play();
  EXPECT_EQ(fake.files.created().size(), created) << "already whole: no new file";
  EXPECT_EQ(file("晴天"), saved(mp3));

  fake.files.put(app.run_directory + "\\夜曲.lrc", "the user's own lyrics");
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/2000.mp3", {mp3});
  play("夜曲", "2000");
  EXPECT_EQ(file("夜曲"), saved(mp3, "夜曲", "2000"));
  EXPECT_EQ(fake.files.read(app.run_directory + "\\夜曲.lrc"), "the user's own lyrics");
}

// Without cover and lyrics at the service the song keeps what is known; without the setting no ".lrc".
TEST_F(PlayFlow, ASongWithoutCoverOrLyricsIsTaggedWithWhatIsKnown) {
  fake.service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":""})"); });
  fake.service.on("lyric", [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>gone</html>"); });
  play();
  EXPECT_EQ(file("晴天"), downloaded(mp3));
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
}

// A song on disk shows the cover and lyrics of its own tag without asking the service (as offline); a
// user's file whose tag has only lyrics shows them and asks the service for the cover alone.
TEST_F(PlayFlow, ASongOnDiskShowsItsTagsCoverAndLyricsWithoutTheService) {
  const auto offline = [](const fakes::ServiceCall&) { return fakes::bytes_response("<html>no network</html>"); };
  for (const char* api : {"url", "pic", "lyric"}) fake.service.on(api, offline);
  fake.files.put(song("晴天"), saved(mp3));
  show_rows({SongRow{"1000", "p1000", "1000", "晴天", "singer", "album", "netease", song("晴天")}});
  play_selected(app);
  settle();
  EXPECT_EQ(to_text(window.cover()), kCoverBytes);
  EXPECT_EQ(window.lyrics(), read_lyrics(kLyric).lines);
  EXPECT_TRUE(fake.service.calls_of("pic").empty() && fake.service.calls_of("lyric").empty());
  EXPECT_TRUE(window.messages().empty());

  SongTag users{"夜曲", "someone", "", {}};
  users.lyrics = "一行\r\n";
  fake.files.put(song("夜曲"), fakes::tag_text(users) + mp3);
  show_rows({SongRow{"", "", "", "夜曲", "someone", "", "netease", song("夜曲")}});
  play_selected(app);
  settle();
  EXPECT_EQ(window.lyrics(), "一行\r\n");
  EXPECT_EQ(fake.service.calls_of("pic").size(), 1u);
  EXPECT_TRUE(fake.service.calls_of("lyric").empty());
}

// A user's file in the list of songs on disk plays as it is: never retagged, no ".lrc" beside it.
TEST_F(PlayFlow, AUsersSongPlayedFromDiskIsNeverRetagged) {
  stores.settings.set_save_lrc(true);
  const Text user = fakes::tag_text(SongTag{"晴天", "someone", "", {}}) + mp3;
  fake.files.put(song("晴天"), user);
  show_rows({SongRow{"1000", "p1000", "1000", "晴天", "singer", "album", "netease", song("晴天")}});
  play_selected(app);
  settle();
  EXPECT_EQ(fake.player.calls_without_stop().back(), "play " + song("晴天") + " #1");
  EXPECT_EQ(file("晴天"), user);
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"});
}

}  // namespace
}  // namespace qiwa
