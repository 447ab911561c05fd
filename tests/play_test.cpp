#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/context.hpp"
#include "fakes/fake_downloader.hpp"
#include "fakes/fake_music_service.hpp"
#include "fakes/fake_player.hpp"
#include "fakes/fake_window.hpp"
#include "music/play.hpp"

namespace qiwa {
namespace {

namespace fs = std::filesystem;
using fakes::jsonp;

constexpr const char* kSong = "http://127.0.0.1:8765/music/netease/1000.mp3";
constexpr const char* kCover = "http://127.0.0.1:8765/cover/0-red.jpg";
constexpr const char* kMp3 = "\xFF\xFB\x90\x64 pretend frames of a song";

TEST(PlayAnswers, AddressesAreCutFromTheirAnswers) {
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","size":1,"br":128}))", false), "http://h/a.mp3");
  EXPECT_EQ(track_address(R"(cb({"url":"","size":0,"br":-1}))", false), "");
  EXPECT_EQ(track_address("<html>error</html>", false), "");
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800x/M800y.mp3","br":320}))", true), "http://h/M500x/M500y.mp3");
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800y.mp3","br":320}))", false), "http://h/M800y.mp3");
  EXPECT_EQ(picture_address(R"(cb({"url":"http://h/c.jpg"}))"), "http://h/c.jpg");
  EXPECT_EQ(picture_address("cb([])"), "");
}

struct PlayFlow : ::testing::Test {
  fakes::FakeWindow window;
  fakes::FakePlayer player;
  fakes::FakeDownloader downloader;
  fakes::FakeMusicService service;
  fs::path dir;
  std::unique_ptr<AppContext> app;

  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "qiwa-play-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir = templ;
    app = std::make_unique<AppContext>(window, player, downloader, templ);
    app->current_source.set("netease");
    service.on("url", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/1000.mp3","size":27,"br":128})");
    });
    service.on("pic", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
    });
    service.on("lyric", [](const fakes::ServiceCall&) {
      return jsonp(R"({"lyric":"[ti:\u6674\u5929]\n[00:00.00]\u6674\u5929\n[00:01.00][00:03.00]chorus\n)"
                   R"([00:02.00]\n[00:04.00]last line","tlyric":"[00:01.00]translated"})");
    });
    service.on_get(kCover, fakes::bytes_response("JPEG cover bytes"));
    downloader.serve(kSong, {kMp3});
  }
  void TearDown() override { fs::remove_all(dir); }

  PlayRequest request(Text title = "晴天") {
    return PlayRequest{++app->play_generation, std::move(title), "1000", "109951163000000000", "1000",
                       app->current_source.get()};
  }
  // File names in the run directory, as UTF-8.
  std::set<std::string> files() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  }
  std::string file(const std::string& utf8_name) {
    std::ifstream in(dir / utf8_name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(PlayFlow, APlayDownloadsPlaysAndShowsCoverLyricsAndTitles) {
  download_and_play(*app, request());

  Text path = app->run_directory + "\\晴天.mp3";
  EXPECT_EQ(files(), (std::set<std::string>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天.mp3"), kMp3);
  EXPECT_EQ(player.calls_without_stop(), (std::vector<Text>{"play " + path + " 1"}));
  EXPECT_EQ(player.played_contents().at(0), kMp3);  // whole when the player got it
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！", "歌曲缓冲中，请稍等！！", "当前播放音乐:晴天"}));
  EXPECT_EQ(window.picture(), Bytes(std::string_view("JPEG cover bytes").begin(), std::string_view("JPEG cover bytes").end()));
  EXPECT_EQ(window.text(Control::编辑框2), "晴天\r\nchorus\r\n\r\nlast line\r\n");
  EXPECT_TRUE(window.messages().empty());
  EXPECT_EQ(downloader.requested(), (std::vector<Text>{kSong}));

  auto calls = service.calls();
  ASSERT_EQ(calls.size(), 4u);
  const Text endpoint = "http://" + app->service_host + "/gqss/api.php?callback=jQuery111305848566045983208_1532569697121";
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
  service.on("url", [](const fakes::ServiceCall&) {
    return jsonp(R"({"url":"http:\/\/h\/music\/tencent\/M80000abc.mp3","size":27,"br":128})");
  });
  downloader.serve("http://h/music/tencent/M50000abc.mp3", {kMp3});
  downloader.serve("http://h/music/tencent/M80000abc.mp3", {kMp3});
  window.choose(2);
  download_and_play(*app, request());
  window.choose(0);  // rows of a QQ search, but another source shown at play time: the address as cut
  download_and_play(*app, request());
  EXPECT_EQ(downloader.requested(),
            (std::vector<Text>{"http://h/music/tencent/M50000abc.mp3", "http://h/music/tencent/M80000abc.mp3"}));
}

TEST_F(PlayFlow, NoAddressShowsTheParseFailureAndTouchesNothing) {
  service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"","size":0,"br":-1})"); });
  download_and_play(*app, request());
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲解析失败！");
  EXPECT_EQ(window.messages()[0].buttons, kOk);
  EXPECT_EQ(window.messages()[0].caption, kDefaultCaption);
  EXPECT_TRUE(window.titles().empty());
  EXPECT_TRUE(downloader.requested().empty());
  EXPECT_TRUE(player.calls().empty());
  EXPECT_EQ(window.picture_count(), 0);
}

// Every way a download can fail ends the same: the box, the idle title, no file, nothing played.
TEST_F(PlayFlow, AFailedDownloadLeavesNoFileAndSaysSo) {
  const std::vector<fakes::ScriptedDownload> failures = {
      {"", DownloadStatus::no_connection}, {"<html>404</html>", DownloadStatus::bad_status},
      {"", DownloadStatus::ok},  // an empty body
      {std::string(10000, 'x'), DownloadStatus::interrupted, 1000}, {"", DownloadStatus::too_large}};
  for (const auto& failure : failures) {
    downloader.serve(kSong, failure);
    download_and_play(*app, request());
    EXPECT_TRUE(files().empty()) << describe(failure.status);
  }
  EXPECT_TRUE(player.calls_without_stop().empty());
  ASSERT_EQ(window.messages().size(), failures.size());
  for (const auto& m : window.messages()) EXPECT_EQ(m.message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.titles().back(), "Qiwa音乐");
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
}

TEST_F(PlayFlow, AFileThePlayerRejectsIsRemoved) {
  player.fail_every_play(true);
  download_and_play(*app, request());
  EXPECT_TRUE(files().empty());
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, AnUnwritableRunDirectoryIsADownloadFailure) {
  app = std::make_unique<AppContext>(window, player, downloader, (dir / "missing").string());
  app->current_source.set("netease");
  download_and_play(*app, request());
  EXPECT_TRUE(downloader.requested().empty());
  EXPECT_EQ(window.messages().at(0).message, "抱歉，当前歌曲下载失败！");
}

TEST_F(PlayFlow, HostileTitlesStayInTheRunDirectory) {
  for (const char* title : {"..\\..\\escape", "a/b:c*d?e\"f<g>h|i", "CON", "  dots... ", ""})
    download_and_play(*app, request(title));
  EXPECT_EQ(files(), (std::set<std::string>{".._.._escape.mp3", "a_b_c_d_e_f_g_h_i.mp3", "_CON.mp3", "dots.mp3",
                                            "_.mp3"}));
  EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.mp3"));
  EXPECT_EQ(window.title(), "当前播放音乐:");  // the last title was empty
}

TEST_F(PlayFlow, ALaterDownloadOfTheSameTitleReplacesTheFile) {
  download_and_play(*app, request());
  downloader.serve(kSong, {"second"});
  download_and_play(*app, request());
  EXPECT_EQ(file("晴天.mp3"), "second");
  EXPECT_EQ(files().size(), 1u);
}

// A later download of a title already here that turns out to be no song (a web page) loses nothing.
TEST_F(PlayFlow, AnUnplayableDownloadOfATitleAlreadyHereKeepsTheEarlierFile) {
  download_and_play(*app, request());
  downloader.serve(kSong, {"<html><body>Access denied</body></html>"});
  player.fail_every_play(true);
  download_and_play(*app, request());
  EXPECT_EQ(files(), (std::set<std::string>{"晴天.mp3"}));
  EXPECT_EQ(file("晴天.mp3"), kMp3);
  ASSERT_EQ(window.messages().size(), 1u);
  EXPECT_EQ(window.messages()[0].message, "抱歉，当前歌曲下载失败！");
  EXPECT_EQ(window.title(), "Qiwa音乐");
}

TEST_F(PlayFlow, ANewerPlayDuringTheDownloadSilencesTheOlderOne) {
  fakes::ScriptedDownload slow{std::string(100000, 'x'), DownloadStatus::ok, 1000};
  slow.before = [this] { ++app->play_generation; };  // the user chose another song meanwhile
  downloader.serve(kSong, slow);
  download_and_play(*app, request());
  EXPECT_TRUE(player.calls_without_stop().empty());
  EXPECT_TRUE(files().empty());
  EXPECT_EQ(window.titles(), (std::vector<Text>{"歌曲缓冲中，请稍等！"}));
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
  EXPECT_TRUE(window.messages().empty());
}

TEST_F(PlayFlow, ANewerPlayAfterTheDownloadKeepsTheFileButShowsNothing) {
  service.on("pic", [this](const fakes::ServiceCall&) {
    ++app->play_generation;
    return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/cover\/0-red.jpg"})");
  });
  download_and_play(*app, request());
  EXPECT_EQ(player.calls_without_stop().size(), 1u);
  EXPECT_EQ(window.picture_count(), 0);
  EXPECT_EQ(window.text(Control::编辑框2), "");
  EXPECT_EQ(window.titles().back(), "歌曲缓冲中，请稍等！！");
}

TEST_F(PlayFlow, AfterTheExitCleanUpNothingIsWrittenOrPlayed) {
  fakes::ScriptedDownload d{kMp3};
  d.before = [this] { app->downloads.close(); };
  downloader.serve(kSong, d);
  download_and_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(player.calls_without_stop().empty());

  app->closing = true;
  window.close();
  download_and_play(*app, request());
  EXPECT_TRUE(files().empty());
  EXPECT_TRUE(window.messages().empty());
}

}  // namespace
}  // namespace qiwa
