#include "app/play_worker.hpp"

#include "app/app_fixture.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kSong = "http://127.0.0.1:8765/music/netease/1000.mp3";
constexpr const char* kCover = "http://127.0.0.1:8765/cover/0-red.jpg";
constexpr const char* kMp3 = "\xFF\xFB\x90\x64 pretend frames of a song";

struct PlayFlow : AppFixture {
  unsigned plays = 0;

  void SetUp() override {
    app->current_source.set("netease");
    fake.service.on("url", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/1000.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
    });
    fake.service.on("lyric", [](const fakes::ServiceCall&) {
      return jsonp(R"({"lyric":"[ti:\u6674\u5929]\n[00:00.00]\u6674\u5929\n[00:01.00][00:03.00]chorus\n)"
                   R"([00:02.00]\n[00:04.00]last line","tlyric":"[00:01.00]translated"})");
    });
    fake.service.on_get(kCover, fakes::bytes_response("JPEG cover bytes"));
    fake.downloader.serve(kSong, {kMp3});
  }

  // A play of the selected row, as the click captures it: its token stops the play before.
  PlayRequest request(Text title = "晴天") {
    return PlayRequest{app->plays.renew(), ++plays,
                       Track{std::move(title), "1000", "109951163000000000", "1000", app->current_source.get()}};
  }
  std::optional<Text> file(std::string_view title) const { return fake.files.read(song(title)); }
};

TEST_F(PlayFlow, APlayDownloadsPlaysAndShowsCoverLyricsAndTitles) {
  run_play(*app, request());

  Text path = app->run_directory + "\\晴天.mp3";
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天"), kMp3);
  EXPECT_EQ(fake.player.calls_without_stop(), (std::vector<Text>{"play " + path + " 1"}));
  EXPECT_EQ(fake.player.played_contents().at(0), kMp3);  // whole when the player got it
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天"}));
  EXPECT_EQ(to_text(window.picture()), "JPEG cover bytes");
  EXPECT_EQ(window.text(Control::编辑框2), "晴天\r\nchorus\r\n\r\nlast line\r\n");
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(fake.downloader.requested(), (std::vector<Text>{kSong}));

  auto calls = fake.service.calls();
  ASSERT_EQ(calls.size(), 4u);
  const Text endpoint = "http://127.0.0.1:8765/gqss/api.php?callback=jQuery111305848566045983208_1532569697121";
  EXPECT_EQ(calls[0].url, endpoint);
  EXPECT_EQ(calls[0].body, "types=url&id=1000&source=netease");
  EXPECT_EQ(calls[1].body, "types=pic&id=109951163000000000&source=netease");
  EXPECT_EQ(calls[2].method, "GET");
  EXPECT_EQ(calls[2].url, kCover);
  EXPECT_EQ(calls[3].body, "types=lyric&id=1000&source=netease");

  auto registered = app->downloads.close();
  EXPECT_NE(std::find(registered.begin(), registered.end(), path), registered.end());
}

TEST_F(PlayFlow, QqMusicShownAsksForTheM500File) {
  fake.service.on("url", [](const fakes::ServiceCall&) {
    return jsonp(R"({"url":"http:\/\/h\/music\/tencent\/M80000abc.mp3","size":27,"br":128})");
  });
  fake.downloader.serve("http://h/music/tencent/M50000abc.mp3", {kMp3});
  fake.downloader.serve("http://h/music/tencent/M80000abc.mp3", {kMp3});
  window.choose(2);
  run_play(*app, request());
  window.choose(0);  // rows of a QQ search, but another source shown at play time: the address as cut
  run_play(*app, request());
  EXPECT_EQ(fake.downloader.requested(),
            (std::vector<Text>{"http://h/music/tencent/M50000abc.mp3", "http://h/music/tencent/M80000abc.mp3"}));
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

// Every way a download can fail ends the same: the box, the idle title, no file, nothing played.
TEST_F(PlayFlow, AFailedDownloadLeavesNoFileAndSaysSo) {
  const std::vector<fakes::ScriptedDownload> failures = {
      {"", DownloadStatus::no_connection}, {"<html>404</html>", DownloadStatus::bad_status},
      {"", DownloadStatus::ok},  // an empty body
      {std::string(10000, 'x'), DownloadStatus::interrupted, 1000}, {"", DownloadStatus::too_large}};
  for (const auto& failure : failures) {
    fake.downloader.serve(kSong, failure);
    run_play(*app, request());
    EXPECT_TRUE(files().empty()) << describe(failure.status);
  }
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  ASSERT_EQ(window.messages().size(), failures.size());
  for (const auto& m : window.messages()) EXPECT_EQ(m.message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.titles().back(), "Qiwa音乐");
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
}

TEST_F(PlayFlow, AFileThePlayerRejectsIsRemoved) {
  fake.player.fail_every_play(true);
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, AnUnwritableRunDirectoryIsADownloadFailure) {
  fake.files.refuse(app->run_directory);
  run_play(*app, request());
  EXPECT_TRUE(fake.downloader.requested().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
}

TEST_F(PlayFlow, AFullDiskIsADownloadFailureThatLeavesNothing) {
  fake.files.fill_disk_after(10);
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, HostileTitlesStayInTheRunDirectory) {
  for (const char* title : {"..\\..\\escape", "a/b:c*d?e\"f<g>h|i", "CON", "  dots... ", ""})
    run_play(*app, request(title));
  EXPECT_EQ(files(), (std::set<Text>{".._.._escape.mp3", "a_b_c_d_e_f_g_h_i.mp3", "_CON.mp3", "dots.mp3",
                                            "_.mp3"}));
  EXPECT_TRUE(fake.files.names_in("C:").empty());  // nothing beside the run directory
  EXPECT_EQ(window.title(), "当前播放音乐:");  // the last title was empty
}

TEST_F(PlayFlow, ALaterDownloadOfTheSameTitleReplacesTheFile) {
  run_play(*app, request());
  fake.downloader.serve(kSong, {"second"});
  run_play(*app, request());
  EXPECT_EQ(file("晴天"), "second");
  EXPECT_EQ(files().size(), 1u);
}

// A later download of a title already here that turns out to be no song (a web page) loses nothing.
TEST_F(PlayFlow, AnUnplayableDownloadOfATitleAlreadyHereKeepsTheEarlierFile) {
  run_play(*app, request());
  fake.downloader.serve(kSong, {"<html><body>Access denied</body></html>"});
  fake.player.fail_every_play(true);
  run_play(*app, request());
  EXPECT_EQ(files(), (std::set<Text>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天"), kMp3);
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, ANewerPlayDuringTheDownloadSilencesTheOlderOne) {
  fakes::ScriptedDownload slow{std::string(100000, 'x'), DownloadStatus::ok, 1000};
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

TEST_F(PlayFlow, AfterTheExitCleanUpNothingIsWrittenOrPlayed) {
  fakes::ScriptedDownload d{kMp3};
  d.before = [this] { app->downloads.close(); };
  fake.downloader.serve(kSong, d);
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(fake.player.calls_without_stop().empty());

  app->plays.stop_all();
  window.close();
  run_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(window.messages().empty());
}

}  // namespace
}  // namespace qiwa
