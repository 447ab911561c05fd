// A song's address, cover and lyrics at the service, and its download into the run directory over a
// file system that can fail.
#include "music/track.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_downloader.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_music_service.hpp"
#include "fakes/test_song.hpp"
#include "music/file_name.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

TEST(TrackAnswers, AddressesAreCutFromTheirAnswersWithTheBitRateGiven) {
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","size":1,"br":128}))", false),
            (SongAddress{"http://h/a.mp3", 128}));
  EXPECT_EQ(track_address(R"(cb({"url":"","size":0,"br":-1}))", false), SongAddress{});
  EXPECT_EQ(track_address("<html>error</html>", false), SongAddress{});
  // A service that ignores "br" may leave it out, or write it quoted or as garbage: the song still plays.
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","size":1}))", false), (SongAddress{"http://h/a.mp3", 0}));
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","br":"192"}))", false),
            (SongAddress{"http://h/a.mp3", 192}));
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","br":null}))", false), (SongAddress{"http://h/a.mp3", 0}));
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/a.mp3","br":99999999999}))", false).kbps, 0);
  // The "M500" file is the 128 kbps one, whatever the service said of the "M800" one.
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800x/M800y.mp3","br":320}))", true),
            (SongAddress{"http://h/M500x/M500y.mp3", 128}));
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/M800y.mp3","br":320}))", false),
            (SongAddress{"http://h/M800y.mp3", 320}));
  EXPECT_EQ(track_address(R"(cb({"url":"http://h/C400y.m4a","br":96}))", true), (SongAddress{"http://h/C400y.m4a", 96}));
  EXPECT_EQ(picture_address(R"(cb({"url":"http://h/c.jpg"}))"), "http://h/c.jpg");
  EXPECT_EQ(picture_address("cb([])"), "");
}

// The form asks for the bit rate chosen; the catalogue that names its files by quality keeps its 320 kbps
// file only when 320 is asked.
TEST(TrackService, TheAddressIsAskedInTheQualityChosen) {
  fakes::FakeMusicService service;
  ServiceClient client{"h:1", service.requests()};
  service.on("url", [](const fakes::ServiceCall& c) {
    return jsonp(R"({"url":"http:\/\/h\/M800a.mp3","size":5,"br":)" + c.field("br") + "}");
  });
  const Track track{"晴天", "u1", "p1", "l1", "tencent", "周杰伦", "叶惠美"};
  EXPECT_EQ(resolve_track(client, track, 320, true), (SongAddress{"http://h/M800a.mp3", 320}));
  EXPECT_EQ(resolve_track(client, track, 192, true), (SongAddress{"http://h/M500a.mp3", 128}));
  EXPECT_EQ(resolve_track(client, track, 128, true), (SongAddress{"http://h/M500a.mp3", 128}));
  EXPECT_EQ(resolve_track(client, track, 192, false), (SongAddress{"http://h/M800a.mp3", 192}));
  const auto calls = service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].body, "types=url&id=u1&source=tencent&br=320");
  EXPECT_EQ(calls[1].body, "types=url&id=u1&source=tencent&br=192");
}

TEST(TrackService, EachAnswerIsAskedWithItsOwnIdAndTheSource) {
  fakes::FakeMusicService service;
  ServiceClient client{"h:1", service.requests()};
  service.on("url", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"http:\/\/h\/M800a.mp3","br":128})"); });
  service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":"http:\/\/h\/c.jpg"})"); });
  service.on("lyric", [](const fakes::ServiceCall&) { return jsonp(R"({"lyric":"[00:01.00]\u6674\n"})"); });
  service.on_get("http://h/c.jpg", fakes::bytes_response("JPEG"));
  const Track track{"晴天", "u1", "p1", "l1", "tencent", "周杰伦", "叶惠美"};
  EXPECT_EQ(resolve_track(client, track, 128, true).url, "http://h/M500a.mp3");
  EXPECT_EQ(fetch_cover(client, track), Bytes({'J', 'P', 'E', 'G'}));
  EXPECT_EQ(fetch_lyrics(client, track).lines, "晴\r\n");
  auto calls = service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].body, "types=url&id=u1&source=tencent&br=128");
  EXPECT_EQ(calls[1].body, "types=pic&id=p1&source=tencent");
  EXPECT_EQ((calls[2].method + " " + calls[2].url), "GET http://h/c.jpg");
  EXPECT_EQ(calls[3].body, "types=lyric&id=l1&source=tencent");
}

TEST(TrackIdentity, TheTagCarriesTheSongAndOnlyItsOwnTrackMatches) {
  const Track track{"晴天", "1000", "p1", "l1", "netease", "周杰伦", "叶惠美"};
  const SongTag tag = song_tag(track);
  EXPECT_EQ(tag.title, "晴天");
  EXPECT_EQ(tag.singer, "周杰伦");
  EXPECT_EQ(tag.album, "叶惠美");
  ASSERT_NE(tag.user_text("QIWA_PIC_ID"), nullptr);
  EXPECT_EQ(*tag.user_text("QIWA_PIC_ID"), "p1");
  EXPECT_EQ(*tag.user_text("QIWA_LYRIC_ID"), "l1");
  EXPECT_TRUE(is_tag_of(tag, track));
  Track other_singer = track;  // "晴天" by another singer: another id
  other_singer.url_id = "2000";
  EXPECT_FALSE(is_tag_of(tag, other_singer));
  Track other_catalogue = track;  // the same id in another catalogue is another song
  other_catalogue.source = "kugou";
  EXPECT_FALSE(is_tag_of(tag, other_catalogue));
  EXPECT_FALSE(is_tag_of(SongTag{"晴天", "周杰伦", "叶惠美", {}}, track)) << "a tag of someone else's";
  const Track nameless{"晴天", "", "", "", "", "", ""};
  EXPECT_FALSE(is_tag_of(song_tag(nameless), nameless)) << "no identity matches nothing";
}

// Where the data's n-th frame after its tags ends.
std::size_t after_frames(const Text& mp3, int n) {
  const auto* data = reinterpret_cast<const unsigned char*>(mp3.data());
  std::size_t at = find_frame(data, mp3.size(), id3v2_size(data, mp3.size()));
  for (int i = 0; i < n; ++i) at += parse_frame_header(data + at, mp3.size() - at)->length;
  return at;
}

struct SongDownload : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakeDownloader downloader;
  const Track track{"晴天", "1000", "p1", "l1", "netease", "周杰伦", "叶惠美"};
  const Text dir = "C:\\Qiwa";
  const Text mp3 = fakes::test_song();
  std::stop_source stop;

  Fetched fetch(fakes::ScriptedDownload d, Text* part_path = nullptr) {
    downloader.serve("http://h/a.mp3", std::move(d));
    std::optional<PartFile> part = create_part_file(files, dir + "\\晴天.mp3", 7);
    EXPECT_TRUE(part);
    if (part_path) *part_path = part->path;
    return download_to_part(downloader, files, "http://h/a.mp3", *part, song_tag(track), stop.get_token());
  }
  Text saved(const Text& body) { return fakes::tag_text(song_tag(track)) + body; }
};

// Part files are named for this process and a number, and never take the name of a file that is there:
// one of another copy of the program, or of the user's.
TEST_F(SongDownload, PartFilesNeverMeetAFileThatIsThere) {
  files.put(dir + "\\晴天.mp3.4242-7.part", "another copy's download");
  files.put(dir + "\\晴天.mp3.4242-8.part", "the user's own file");
  std::optional<PartFile> part = create_part_file(files, dir + "\\晴天.mp3", 7);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->path, dir + "\\晴天.mp3.4242-9.part");
  EXPECT_EQ(files.read(dir + "\\晴天.mp3.4242-7.part"), "another copy's download");
  EXPECT_EQ(files.read(dir + "\\晴天.mp3.4242-8.part"), "the user's own file");
  files.refuse(dir);
  EXPECT_FALSE(create_part_file(files, dir + "\\晴天.mp3", 1)) << "a folder that takes no file";
}

TEST_F(SongDownload, AWholeSongComesAfterTheProgramsTagAndTakesTheFirstFreeName) {
  files.put(dir + "\\晴天.mp3", "the user's own recording");
  files.put(dir + "\\晴天 (2).mp3", "another singer's 晴天");
  Text part;
  ASSERT_EQ(fetch({mp3, DownloadStatus::ok, 999}, &part), Fetched::whole);
  EXPECT_EQ(files.read(part), saved(mp3));
  EXPECT_EQ(put_in_place(files, part, dir, "晴天"), dir + "\\晴天 (3).mp3");
  EXPECT_EQ(files.read(dir + "\\晴天 (3).mp3"), saved(mp3));
  EXPECT_EQ(files.read(dir + "\\晴天.mp3"), "the user's own recording");
  EXPECT_EQ(files.read(dir + "\\晴天 (2).mp3"), "another singer's 晴天");
  EXPECT_EQ(files.names_in(dir), (std::set<Text>{"晴天.mp3", "晴天 (2).mp3", "晴天 (3).mp3"}));
}

// A name the move cannot take (a folder of that name) is passed over too; with every name taken the
// part file goes and nothing else moves.
TEST_F(SongDownload, PlacingPassesOverEveryNameItCannotTake) {
  Text part;
  ASSERT_EQ(fetch({mp3}, &part), Fetched::whole);
  files.make_directory(dir + "\\晴天.mp3");
  EXPECT_EQ(put_in_place(files, part, dir, "晴天"), dir + "\\晴天 (2).mp3");
  EXPECT_TRUE(files.is_directory(dir + "\\晴天.mp3"));

  ASSERT_EQ(fetch({mp3}, &part), Fetched::whole);
  for (unsigned n = 2; n <= kMaxNumberedNames; ++n) files.put(song_file_path(dir, "晴天", n), "taken");
  EXPECT_EQ(put_in_place(files, part, dir, "晴天"), "");
  EXPECT_FALSE(files.read(part));
}

// Only a body that came whole and is a whole song stays: a web page, a song cut short (declared length
// or none, inside a frame or between two), a failed transfer, a full disk and a stop all leave no file.
TEST_F(SongDownload, OnlyAWholeSongStays) {
  const std::vector<fakes::ScriptedDownload> failures = {
      {"<html><body>Access denied</body></html>"},
      {mp3.substr(0, mp3.size() * 2 / 5), DownloadStatus::ok, 4096, {}, {}, false},     // cut, no length
      {mp3.substr(0, after_frames(mp3, 40)), DownloadStatus::ok, 4096, {}, {}, false},  // cut between frames
      {mp3.substr(0, 300)},
      {"half", DownloadStatus::interrupted},
      {"", DownloadStatus::no_connection},
  };
  for (const auto& failure : failures) EXPECT_EQ(fetch(failure), Fetched::failed) << failure.body.size();
  files.fill_disk_after(100);
  EXPECT_EQ(fetch({mp3}), Fetched::failed);  // the disk is full part way
  files.fill_disk_after(std::nullopt);
  fakes::ScriptedDownload stopped{mp3, DownloadStatus::ok, 100};
  stopped.before = [this] { stop.request_stop(); };
  EXPECT_EQ(fetch(stopped), Fetched::stopped);
  EXPECT_TRUE(files.names_in(dir).empty());
}

// An ID3v2 tag of the service's own, far larger than what is looked at, follows the program's.
TEST_F(SongDownload, TheServicesOwnTagFollowsTheProgramsTag) {
  Text tag = "ID3";
  tag += Text("\x03\x00\x00", 3);
  const std::size_t body = 200000;
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((body >> shift) & 0x7F);
  tag += std::string(body, 'p');
  Text part;
  ASSERT_EQ(fetch({tag + mp3, DownloadStatus::ok, 4096}, &part), Fetched::whole);
  EXPECT_EQ(files.read(part), saved(tag + mp3));
}

// A play finds this very song among the title's files only when the program saved it whole; every other
// file of the name is passed over, and the first free name is offered.
TEST_F(SongDownload, TheSongSavedBeforeIsFoundAmongTheTitlesFiles) {
  files.put(dir + "\\晴天.mp3", "the user's own recording");
  SongPlace place = find_song_place(files, dir, track.title, track);
  EXPECT_EQ(place.saved, "");
  EXPECT_EQ(place.free, dir + "\\晴天 (2).mp3");

  Track other = track;
  other.url_id = "2000";  // 晴天 by another singer, saved by the program
  files.put(dir + "\\晴天 (2).mp3", fakes::tag_text(song_tag(other)) + mp3);
  files.put(dir + "\\晴天 (3).mp3", saved(mp3.substr(0, 9000)));  // this song, but cut short
  files.put(dir + "\\晴天 (4).mp3", saved(mp3));
  place = find_song_place(files, dir, track.title, track);
  EXPECT_EQ(place.saved, dir + "\\晴天 (4).mp3");
  EXPECT_EQ(find_song_place(files, dir, other.title, other).saved, dir + "\\晴天 (2).mp3");

  files.refuse("(4)");  // it cannot be read
  place = find_song_place(files, dir, track.title, track);
  EXPECT_EQ(place.saved, "");
  EXPECT_EQ(place.free, dir + "\\晴天 (5).mp3");
}

}  // namespace
}  // namespace qiwa
