#include "app/lyrics_follow.hpp"

#include "app/app_fixture.hpp"
#include "app/playing.hpp"
#include "app/startup.hpp"
#include "fakes/test_song.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

// The play of a song whose lyrics are sent as `lyric` (JSON-escaped), then the player's clock moved by hand.
struct LyricsFlow : AppFixture {
  void serve(const Text& lyric) {
    fake.service.on("url", [](const fakes::ServiceCall& c) {
      return jsonp(R"({"url":"http:\/\/h\/)" + c.field("id") + R"(.mp3","size":1,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":""})"); });
    fake.service.on("lyric", [lyric](const fakes::ServiceCall&) { return jsonp(R"({"lyric":")" + lyric + R"("})"); });
    for (const char* id : {"1", "2"}) fake.downloader.serve(Text("http://h/") + id + ".mp3", {fakes::test_song()});
  }
  void play(const char* id) {
    show_rows({SongRow{id, "p", id, "t", "", "", "netease"}});
    play_selected(app);
    settle();
  }
  // The player at `ms`, the clock a tick on, and the timer fired.
  void at(std::int64_t ms) {
    fake.player.set_position_ms(ms);
    fake.clock.advance(LyricsFollower::kTickMs);
    window.fire(Timer::lyrics);
  }
};

TEST_F(LyricsFlow, TheMarkFollowsTheSongAndMovesOnlyWhenTheLineChanges) {
  serve(R"([ti:x]\n[offset:+200]\n[00:01.00]one\n[00:03.00][00:00.50]two\nuntagged\n[00:02.00]three)");
  play("1");
  EXPECT_EQ(window.lyrics(), "one\r\ntwo\r\nuntagged\r\nthree\r\n");  // the box as always
  EXPECT_EQ(window.period(Timer::lyrics), LyricsFollower::kTickMs);
  for (std::int64_t ms : {0, 250, 300, 500, 799, 800, 1500, 1800, 1900, 2800, 5000}) at(ms);
  // [offset:+200]: each line 200 ms sooner; "two" is sung twice; "untagged" never marked.
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{1, 0, 3, 1}));
}

TEST_F(LyricsFlow, PauseHoldsTheMarkAndANewSongStartsFromItsOwnFirstLine) {
  serve(R"([00:00.00]a\n[00:01.00]b\n[00:02.00]c)");
  play("1");
  at(1500);
  for (int i = 0; i < 20; ++i) at(1500);  // paused: the device stands still
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{1}));
  fake.player.set_position_ms(0);
  play_selected(app);  // the user clicks another row: the box is emptied, nothing follows it meanwhile
  at(1500);
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{1}));
  settle();
  play("2");
  at(100);
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{1, 0}));
}

TEST_F(LyricsFlow, TheUsersScrollingIsLeftAloneForAWhile) {
  serve(R"([00:00.00]a\n[00:01.00]b\n[00:02.00]c\n[00:03.00]d\n[00:09.00]e)");
  play("1");
  at(0);
  window.scroll_lyrics(7);  // the user scrolls down to read
  at(1000);
  at(2000);
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{0}));
  fake.clock.advance(LyricsFollower::kUserGraceMs);
  at(2000);  // the grace is over: the mark comes back, on the line being sung
  at(2100);
  EXPECT_EQ(window.marked_lines(), (std::vector<int>{0, 2}));
}

TEST_F(LyricsFlow, NoTagsNoFollowingAndASupersededPlayNeverTouchesTheBox) {
  serve(R"(plain words\nno time)");
  play("1");
  EXPECT_EQ(window.lyrics(), "plain words\r\nno time\r\n");
  EXPECT_EQ(window.period(Timer::lyrics), 0);

  serve(R"([00:00.00]a\n[00:01.00]b)");
  fake.service.on("lyric", [this](const fakes::ServiceCall&) {
    app.plays.renew();  // a newer play begins while this one's lyrics are on their way
    return jsonp(R"({"lyric":"[00:00.00]a"})");
  });
  play("2");
  EXPECT_EQ(window.period(Timer::lyrics), 0);
  at(500);
  EXPECT_TRUE(window.marked_lines().empty());
}

TEST_F(LyricsFlow, AFailedSongOrAClosingWindowStopsTheFollowing) {
  serve(R"([00:00.00]a\n[00:01.00]b)");
  play("1");
  ASSERT_EQ(window.period(Timer::lyrics), LyricsFollower::kTickMs);
  on_main_window_destroying(app);
  EXPECT_EQ(window.period(Timer::lyrics), 0);
}

}  // namespace
}  // namespace qiwa
