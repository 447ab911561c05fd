// A song's address, cover and lyrics at the service, and its download into the run directory over a
// file system that can fail.
#include "music/track.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_downloader.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_music_service.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

TEST(TrackAnswers, AddressesAreCutFromTheirAnswers) {
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","size":1,"br":128}))", false), "http://h/a.mp3");
  EXPECT_EQ(track_address(R"(cb({"url":"","size":0,"br":-1}))", false), "");
  EXPECT_EQ(track_address("<html>error</html>", false), "");
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800x/M800y.mp3","br":320}))", true), "http://h/M500x/M500y.mp3");
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800y.mp3","br":320}))", false), "http://h/M800y.mp3");
  EXPECT_EQ(picture_address(R"(cb({"url":"http://h/c.jpg"}))"), "http://h/c.jpg");
  EXPECT_EQ(picture_address("cb([])"), "");
}

TEST(TrackService, EachAnswerIsAskedWithItsOwnIdAndTheSource) {
  fakes::FakeMusicService service;
  ServiceClient client{"h:1", service.requests()};
  service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"http:\/\/h\/M800a.mp3","br":128})"); });
  service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"http:\/\/h\/c.jpg"})"); });
  service.on("lyric", [](const fakes::ServiceCall&) { return jsonp(R"({"lyric":"[00:01.00]\u6674\n"})"); });
  service.on_get("http://h/c.jpg", fakes::bytes_response("JPEG"));
  const Track track{"晴天", "u1", "p1", "l1", "tencent"};
  EXPECT_EQ(resolve_track(client, track, true), "http://h/M500a.mp3");
  EXPECT_EQ(fetch_cover(client, track), Bytes({'J', 'P', 'E', 'G'}));
  EXPECT_EQ(fetch_lyrics(client, track), "晴\r\n");
  auto calls = service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].body, "types=url&id=u1&source=tencent");
  EXPECT_EQ(calls[1].body, "types=pic&id=p1&source=tencent");
  EXPECT_EQ((calls[2].method + " " + calls[2].url), "GET http://h/c.jpg");
  EXPECT_EQ(calls[3].body, "types=lyric&id=l1&source=tencent");
}

struct SongDownload : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakeDownloader downloader;
  const SongFiles song = song_files("C:\\Qiwa", "晴天", 7);
  std::stop_source stop;

  Fetched fetch(fakes::ScriptedDownload d) {
    downloader.serve("http://h/a.mp3", std::move(d));
    return download_to_part(downloader, files, "http://h/a.mp3", song, stop.get_token());
  }
};

TEST_F(SongDownload, NamesBesideTheSong) {
  EXPECT_EQ(song.path, "C:\\Qiwa\\晴天.mp3");
  EXPECT_EQ(song.part, "C:\\Qiwa\\晴天.mp3.7.part");
  EXPECT_EQ(song.earlier, "C:\\Qiwa\\晴天.mp3.7.old");
}

TEST_F(SongDownload, AWholeBodyGoesIntoPlaceAndAnEarlierFileWaitsAside) {
  files.put(song.path, "an earlier song");
  ASSERT_EQ(fetch({std::string(10000, 's'), DownloadStatus::ok, 999}), Fetched::whole);
  EXPECT_EQ(files.read(song.part), std::string(10000, 's'));
  ASSERT_TRUE(put_in_place(files, song));
  EXPECT_EQ(files.names_in("C:\\Qiwa"), (std::set<Text>{"晴天.mp3", "晴天.mp3.7.old"}));
  take_back(files, song);  // the new one was no song
  EXPECT_EQ(files.names_in("C:\\Qiwa"), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(files.read(song.path), "an earlier song");
}

TEST_F(SongDownload, FailuresAndAStopLeaveNoFile) {
  EXPECT_EQ(fetch({"half", DownloadStatus::interrupted}), Fetched::failed);
  EXPECT_EQ(fetch({"", DownloadStatus::no_connection}), Fetched::failed);
  files.fill_disk_after(100);
  EXPECT_EQ(fetch({std::string(1000, 'x')}), Fetched::failed);  // the disk is full part way
  files.fill_disk_after(std::nullopt);
  fakes::ScriptedDownload stopped{std::string(1000, 'x'), DownloadStatus::ok, 100};
  stopped.before = [this] { stop.request_stop(); };
  EXPECT_EQ(fetch(stopped), Fetched::stopped);
  EXPECT_TRUE(files.names_in("C:\\Qiwa").empty());
}

TEST_F(SongDownload, ASongThatCannotBeMovedIntoPlaceLeavesTheEarlierFileAsItWas) {
  files.put(song.path, "an earlier song");
  ASSERT_EQ(fetch({"new song"}), Fetched::whole);
  files.refuse(".old");  // the earlier file cannot be set aside
  EXPECT_FALSE(put_in_place(files, song));
  EXPECT_EQ(files.names_in("C:\\Qiwa"), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(files.read(song.path), "an earlier song");
}

}  // namespace
}  // namespace qiwa
