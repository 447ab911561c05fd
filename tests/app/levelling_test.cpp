// Loudness levelling: a kept song is measured once, on a low-priority worker, its replay gain stored in
// its tag with the rest of the tag, and applied from the next play on only when "音量均衡" is ticked.
#include "app/levelling.hpp"

#include <cmath>

#include "app/app_fixture.hpp"
#include "app/batch_download.hpp"
#include "app/playing.hpp"
#include "app/startup.hpp"
#include "fakes/test_song.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

constexpr const char* kSong = "http://127.0.0.1:8765/music/netease/1000.mp3";
// A 997 Hz sine of peak 0.1 in both channels: -20 LUFS, so +2 dB to the reference's -18.
constexpr double kAmplitude = 0.1;
constexpr double kGain = 2.0;

struct Levelling : AppFixture {
  const Text mp3 = fakes::test_song();

  void SetUp() override {
    fake.executor.run_posts_at_once(true);
    fake.service.on("url", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/1000.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":""})"); });
    fake.service.on("lyric", [](const fakes::ServiceCall&) { return jsonp(R"({"lyric":""})"); });
    fake.downloader.serve(kSong, {mp3});
    fake.codecs.sound_at(kAmplitude);
  }
  void click() {
    show_rows({SongRow{"1000", "p1000", "1000", "晴天", "singer", "album", "netease"}});
    play_selected(app);
  }
  void play() {
    click();
    settle();
  }
  std::optional<SongTag> tag() { return read_file_tag(fake.files, song("晴天")); }
  Text last_play() const { return fake.player.calls_without_stop().back(); }
};

// Measured when whole, stored in the tag's one rewrite, never measured again; the gain reaches the
// player from the next play on, only while the setting is ticked.
TEST_F(Levelling, AKeptSongIsMeasuredOnceAndItsGainPlaysOnlyWhenTicked) {
  play();
  const std::optional<SongTag> kept = tag();
  ASSERT_TRUE(kept && kept->gain_db && kept->peak);
  EXPECT_NEAR(*kept->gain_db, kGain, 0.05);
  EXPECT_NEAR(*kept->peak, kAmplitude, 0.001);
  EXPECT_EQ(kept->title, "晴天");
  EXPECT_EQ(fake.codecs.opened(), 1);
  EXPECT_GE(fake.executor.started_low(), 1);
  EXPECT_EQ(last_play().find(" gain"), Text::npos) << "the first play had no figure yet";

  const std::size_t created = fake.files.created().size();
  play();
  EXPECT_EQ(fake.codecs.opened(), 1) << "a tag with the gain is not measured again";
  EXPECT_EQ(fake.files.created().size(), created) << "nor rewritten";
  EXPECT_EQ(last_play(), "play " + song("晴天") + " #2") << "unticked: as it is";

  stores.settings.set_level_loudness(true);
  play();
  const Text gain = " gain " + std::to_string(*kept->gain_db) + "/" + std::to_string(*kept->peak);
  EXPECT_EQ(last_play(), "play " + song("晴天") + " #3" + gain);
}

// A user's file (not the program's) is never rewritten, but a gain its tag has from another program is
// applied as well.
TEST_F(Levelling, AUsersFileIsNeverMeasuredIntoButItsOwnGainApplies) {
  stores.settings.set_level_loudness(true);
  SongTag users{"夜曲", "someone", "", {}};
  users.gain_db = -7.5;
  users.peak = 0.9;
  const Text file = fakes::tag_text(users) + mp3;
  fake.files.put(song("夜曲"), file);
  show_rows({SongRow{"", "", "", "夜曲", "someone", "", "netease", song("夜曲")}});
  play_selected(app);
  settle();
  EXPECT_EQ(last_play(), "play " + song("夜曲") + " #1 gain " + std::to_string(-7.5) + "/" + std::to_string(0.9));
  EXPECT_EQ(fake.files.read(song("夜曲")), file);
  EXPECT_EQ(fake.codecs.opened(), 0);
}

// Silence, or a song no codec decodes, has no figure: the tag is written without one, no box shows,
// and a later play measures it again.
TEST_F(Levelling, ASilentOrUndecodableSongGetsNoGainAndNoBox) {
  for (double level : {0.0, -1.0}) {
    fake.files.remove(song("晴天"));
    fake.codecs.sound_at(level);
    play();
    const std::optional<SongTag> kept = tag();
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->title, "晴天");
    EXPECT_FALSE(kept->gain_db || kept->peak);
    EXPECT_TRUE(window.messages().empty());
  }
  fake.codecs.sound_at(kAmplitude);
  play();
  ASSERT_TRUE(tag() && tag()->gain_db);
  EXPECT_NEAR(*tag()->gain_db, kGain, 0.05);
}

// The window closes while the measure waits: it stops, and the song keeps the tag it had, whole.
TEST_F(Levelling, TheExitStopsAMeasureAndLeavesTheSongAsItWas) {
  click();
  while (fake.executor.started_low() == 0 && fake.executor.run_next_worker()) {
  }
  ASSERT_EQ(fake.executor.started_low(), 1);
  const std::optional<Text> before = fake.files.read(song("晴天"));
  on_main_window_destroying(app);
  fake.executor.close();
  EXPECT_EQ(fake.files.read(song("晴天")), before);
  EXPECT_EQ(files(), std::set<Text>{"晴天.mp3"}) << "no half-written file";
  EXPECT_EQ(fake.codecs.opened(), 0);
}

// "下载选中" keeps songs without playing them: each gets its gain all the same.
TEST_F(Levelling, ASongDownloadedWithoutPlayingIsMeasuredToo) {
  show_rows({SongRow{"1000", "p1000", "1000", "晴天", "singer", "album", "netease"}});
  window.select_rows({0});
  download_selected(app);
  settle();
  ASSERT_TRUE(tag() && tag()->gain_db);
  EXPECT_NEAR(*tag()->gain_db, kGain, 0.05);
  EXPECT_EQ(tag()->title, "晴天");
  EXPECT_TRUE(fake.player.calls_without_stop().empty());

  // A song saved before, without a figure, gets one when it is asked for again.
  const Text unmeasured = fakes::tag_text(song_tag(track_of(app.rows[0]))) + mp3;
  fake.files.put(song("晴天"), unmeasured);
  download_selected(app);
  settle();
  ASSERT_TRUE(tag() && tag()->gain_db);
  EXPECT_EQ(fake.codecs.opened(), 2);
  EXPECT_EQ(fake.downloader.requested().size(), 1u) << "not downloaded again";
}

}  // namespace
}  // namespace qiwa
