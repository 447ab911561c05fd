// A song's address, cover and lyrics at the service, and its download into the run directory over a
// file system that can fail.
#include "music/track.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_downloader.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_music_service.hpp"
#include "fakes/test_song.hpp"

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
  EXPECT_EQ(fetch_lyrics(client, track).lines, "晴\r\n");
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
  const Text mp3 = fakes::test_song();
  std::stop_source stop;

  Downloaded fetch(fakes::ScriptedDownload d) {
    downloader.serve("http://h/a.mp3", std::move(d));
    return download_to_part(downloader, files, "http://h/a.mp3", song, stop.get_token());
  }
};

TEST_F(SongDownload, NamesBesideTheSong) {
  EXPECT_EQ(song.path, "C:\\Qiwa\\晴天.mp3");
  EXPECT_EQ(song.part, "C:\\Qiwa\\晴天.mp3.7.part");
}

TEST_F(SongDownload, AWholeSongReplacesAnEarlierFileOfItsName) {
  files.put(song.path, "an earlier song");
  Downloaded got = fetch({mp3, DownloadStatus::ok, 999});
  EXPECT_EQ(got.fetched, Fetched::whole);
  EXPECT_TRUE(got.song);
  EXPECT_EQ(files.read(song.part), mp3);
  EXPECT_EQ(files.read(song.path), "an earlier song");  // untouched until it is put in place
  ASSERT_TRUE(put_in_place(files, song));
  EXPECT_EQ(files.names_in("C:\\Qiwa"), std::set<Text>{"晴天.mp3"});
  EXPECT_EQ(files.read(song.path), mp3);
}

TEST_F(SongDownload, TellsASongFromAWebPageAndPassesOverTags) {
  EXPECT_FALSE(fetch({"<html><body>Access denied</body></html>"}).song);
  EXPECT_FALSE(fetch({mp3.substr(0, 300)}).song);  // not even one whole frame
  // An ID3v2 tag far larger than what is kept to look at (a cover picture in it, say).
  Text tag = "ID3";
  tag += Text("\x03\x00\x00", 3);
  const std::size_t body = 200000;
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((body >> shift) & 0x7F);
  tag += std::string(body, 'p');
  Downloaded got = fetch({tag + mp3, DownloadStatus::ok, 4096});
  EXPECT_EQ(got.fetched, Fetched::whole);
  EXPECT_TRUE(got.song);
}

TEST_F(SongDownload, FailuresAndAStopLeaveNoFile) {
  EXPECT_EQ(fetch({"half", DownloadStatus::interrupted}).fetched, Fetched::failed);
  EXPECT_EQ(fetch({"", DownloadStatus::no_connection}).fetched, Fetched::failed);
  files.fill_disk_after(100);
  EXPECT_EQ(fetch({mp3}).fetched, Fetched::failed);  // the disk is full part way
  files.fill_disk_after(std::nullopt);
  fakes::ScriptedDownload stopped{mp3, DownloadStatus::ok, 100};
  stopped.before = [this] { stop.request_stop(); };
  EXPECT_EQ(fetch(stopped).fetched, Fetched::stopped);
  EXPECT_TRUE(files.names_in("C:\\Qiwa").empty());
}

TEST_F(SongDownload, ASongThatCannotBeMovedIntoPlaceLeavesTheEarlierFileAsItWas) {
  files.put(song.path, "an earlier song");
  ASSERT_EQ(fetch({mp3}).fetched, Fetched::whole);
  files.refuse(".part");  // the part file cannot be moved
  EXPECT_FALSE(put_in_place(files, song));
  EXPECT_EQ(files.read(song.path), "an earlier song");
}

}  // namespace
}  // namespace qiwa
