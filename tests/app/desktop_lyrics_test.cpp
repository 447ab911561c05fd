// The desktop lyrics' line, fill and next change at every moment of a song, then the follower playing
// songs through the window double with the test's hand on the clock: pause, seek, nudge, on and off.
#include "app/desktop_lyrics.hpp"

#include <gtest/gtest.h>

#include "fakes/fake_desktop_lyrics_window.hpp"
#include "fakes/fake_files.hpp"
#include "fakes/fake_player.hpp"

namespace qiwa {
namespace {

DesktopLyrics song(const char* lrc) { return DesktopLyrics(read_lyrics(lrc), "晴天", "周杰伦"); }

// Every tag form of the lyrics parser, one line tagged twice, and the file's own offset.
constexpr const char* kForms =
    "[ti:t]\n[offset:+200]\n[00:01]one\n[00:02.5]two\n[00:03.25]three\n[00:04.125]four\n[00:05:50]five\n"
    "[00:07.00][00:09.00]chorus\n";

TEST(DesktopLyrics, EveryTagFormAndOffsetPutsItsLineAtItsTime) {
  const DesktopLyrics lyrics = song(kForms);
  const std::vector<std::tuple<std::int64_t, const char*, const char*>> expected = {
      {0, "晴天 - 周杰伦", "one"}, {799, "晴天 - 周杰伦", "one"}, {800, "one", "two"},       {2299, "one", "two"},
      {2300, "two", "three"},     {3050, "three", "four"},       {3925, "four", "five"},    {5300, "five", "chorus"},
      {6800, "chorus", "chorus"}, {8799, "chorus", "chorus"},    {8800, "chorus", ""},      {600000, "chorus", ""},
  };
  for (const auto& [ms, current, next] : expected) {
    const DesktopPicture p = lyrics.picture(ms, 0);
    EXPECT_EQ(p.current, current) << ms;
    EXPECT_EQ(p.next, next) << ms;
  }
  const DesktopLyrics later = song("[offset:-300]\n[00:01.00]one\n[00:02.00]two");
  EXPECT_EQ(later.picture(1299, 0).current, "晴天 - 周杰伦");
  EXPECT_EQ(later.picture(1300, 0).current, "one");
}

TEST(DesktopLyrics, TheLineFillsOverItsTimeAndHoldsFullInASilence) {
  const DesktopLyrics lyrics = song("[00:01.00]a b c d\n[00:03.00]second line\n[00:30.00]after the solo\n[00:33.00]\n[00:40.00]end");
  auto fill = [&](std::int64_t ms) { return lyrics.picture(ms, 0).fill; };
  EXPECT_DOUBLE_EQ(fill(1000), 0.0);
  EXPECT_DOUBLE_EQ(fill(2000), 0.5);  // to the next tag
  EXPECT_NEAR(fill(2990), 0.995, 1e-9);
  EXPECT_DOUBLE_EQ(fill(4000), 0.5);  // two words: sung in 2 s, not over the 27 s of the solo
  EXPECT_DOUBLE_EQ(fill(5000), 1.0);
  EXPECT_DOUBLE_EQ(fill(20000), 1.0);
  const DesktopPicture pause = lyrics.picture(35000, 0);  // an empty tagged line: the singing pauses
  EXPECT_EQ(pause.current, "");
  EXPECT_EQ(pause.next, "end");
  EXPECT_DOUBLE_EQ(fill(41000), 0.5);  // the last line: no tag after it
  EXPECT_DOUBLE_EQ(fill(99000), 1.0);
  // Ten CJK characters are ten words.
  const DesktopLyrics cjk = song("[00:01.00]刮风这天我试过握着你\n[00:20.00]x");
  EXPECT_DOUBLE_EQ(cjk.picture(4000, 0).fill, 0.5);
}

TEST(DesktopLyrics, WithoutTimedLinesTheTitleShowsAndBetweenSongsNothing) {
  for (const char* lrc : {"", "just words\nno time tags", "[ti:only metadata]"}) {
    const DesktopLyrics lyrics = song(lrc);
    EXPECT_EQ(lyrics.picture(5000, 0), (DesktopPicture{"晴天", "周杰伦", "", 0})) << lrc;
    EXPECT_FALSE(lyrics.next_change_in(5000, 0, 300));
  }
  const DesktopLyrics between;
  EXPECT_EQ(between.picture(5000, 0), DesktopPicture{});
  EXPECT_FALSE(between.next_change_in(5000, 0, 300));
  EXPECT_EQ(DesktopLyrics(read_lyrics("[00:01.00]a"), "晴天", "").picture(0, 0).current, "晴天");
}

TEST(DesktopLyrics, TheTranslationIsTheLineTaggedAtTheSameTime) {
  const Lyrics translation = read_lyrics("[00:01.00]one, translated\n[00:03.05]two, translated\n[00:05.00]//\n");
  const DesktopLyrics lyrics(read_lyrics("[00:01.00]one\n[00:03.00]two\n[00:05.00]three\n[00:09.00]four"), "t", "s",
                             &translation);
  EXPECT_EQ(lyrics.picture(1500, 0).translation, "one, translated");
  EXPECT_EQ(lyrics.picture(3500, 0).translation, "two, translated");  // 50 ms off its line's tag
  EXPECT_EQ(lyrics.picture(5500, 0).translation, "");                 // "//": left untranslated
  EXPECT_EQ(lyrics.picture(9500, 0).translation, "");
  // A file that carries its translation inline: the second line of a time is the first's translation.
  const DesktopPicture inline_pair = song("[00:01.00]晴天\n[00:01.00]Sunny day\n[00:02.00]下一句\n").picture(1500, 0);
  EXPECT_EQ(inline_pair, (DesktopPicture{"晴天", "下一句", "Sunny day", 0.5}));
}

TEST(DesktopLyrics, TheNextChangeIsTheFillsNextPixelOrTheNextLine) {
  const DesktopLyrics lyrics = song("[00:01.00]a b c d\n[00:03.00]second line\n[00:30.00]solo end");
  EXPECT_EQ(lyrics.next_change_in(0, 0, 100), 1000);       // the intro, until the first line
  EXPECT_EQ(lyrics.next_change_in(1000, 0, 100), kFrameMs);  // a pixel each 20 ms: no more than 30 a second
  EXPECT_EQ(lyrics.next_change_in(1000, 0, 10), 200);      // a pixel each 200 ms
  EXPECT_EQ(lyrics.next_change_in(1050, 0, 10), 150);
  EXPECT_EQ(lyrics.next_change_in(2990, 0, 10), kFrameMs);   // the next line, 10 ms on, after a frame
  EXPECT_EQ(lyrics.next_change_in(5000, 0, 10), 25000);    // held full until the next line
  EXPECT_EQ(lyrics.next_change_in(31000, 0, 4), 500);
  EXPECT_FALSE(lyrics.next_change_in(32000, 0, 10));       // the last line full: nothing more changes
  EXPECT_EQ(lyrics.next_change_in(1000, 0, 0), 2000);      // nothing drawn yet: filled when the line ends
}

// A song playing through the follower: the test moves the player's position as a device would and
// fires the window's timer when its delay has passed.
struct DesktopFlow : ::testing::Test {
  fakes::FakeFiles files;
  fakes::FakePlayer player{files};
  fakes::FakeDesktopLyricsWindow window;
  DesktopLyricsFollower follower{window, player};
  std::int64_t position = 0;
  std::vector<int> delays;

  void play_for(std::int64_t ms) {
    const std::int64_t end = position + ms;
    while (window.timer() && position + *window.timer() <= end) {
      delays.push_back(*window.timer());
      position += *window.timer();
      player.set_position_ms(position);
      window.fire();
    }
    player.set_position_ms(position = end);
  }
  void seek(std::int64_t ms) {
    player.set_position_ms(position = ms);
    follower.seeked();
  }
  std::vector<Text> lines_drawn() const {
    std::vector<Text> out;
    for (const DesktopPicture& p : window.drawn())
      if (out.empty() || out.back() != p.current) out.push_back(p.current);
    return out;
  }
};

TEST_F(DesktopFlow, ASongPlaysThroughAtMostThirtyPicturesASecondAndThenNoTimerWaits) {
  follower.follow(song(kForms));
  follower.set_enabled(true);
  play_for(60000);
  EXPECT_EQ(lines_drawn(), (std::vector<Text>{"晴天 - 周杰伦", "one", "two", "three", "four", "five", "chorus"}));
  for (int d : delays) EXPECT_GE(d, kFrameMs);
  for (std::size_t i = 1; i < window.drawn().size(); ++i) {
    const DesktopPicture &before = window.drawn()[i - 1], &now = window.drawn()[i];
    if (before.current == now.current && before.next == now.next) {
      EXPECT_GT(now.fill, before.fill) << i;
    }
  }
  EXPECT_EQ(window.drawn().back(), (DesktopPicture{"chorus", "", "", 1.0}));
  EXPECT_FALSE(window.timer());  // the last line is full: no timer until something happens
  EXPECT_LE(window.asked(), static_cast<int>(window.drawn().size()) + 12);  // hardly a call that changes nothing
}

TEST_F(DesktopFlow, PauseStopsTheTimerAndASeekShowsItsLineAtOnce) {
  follower.set_enabled(true);
  follower.follow(song(kForms));
  play_for(1500);
  ASSERT_EQ(window.drawn().back().current, "one");
  follower.set_playing(false);
  EXPECT_FALSE(window.timer());
  const std::size_t drawn = window.drawn().size();
  seek(3000);  // seeking while paused shows the line there, and still no timer runs
  EXPECT_EQ(window.drawn().back().current, "two");
  EXPECT_FALSE(window.timer());
  follower.set_playing(true);
  EXPECT_TRUE(window.timer());
  seek(100);
  EXPECT_EQ(window.drawn().back().current, "晴天 - 周杰伦");
  EXPECT_EQ(window.timer(), 700);
  EXPECT_EQ(window.drawn().size(), drawn + 2);
}

TEST_F(DesktopFlow, TheNudgeMovesTheLineAtOnceAndIsHandedBackToKeep) {
  follower.set_enabled(true);
  follower.follow(song(kForms), 500);
  seek(300);
  EXPECT_EQ(window.drawn().back().current, "one");  // 800 ms in the lines' time
  EXPECT_EQ(follower.nudge(-kNudgeStepMs), 0);
  EXPECT_EQ(window.drawn().back().current, "晴天 - 周杰伦");
  EXPECT_EQ(follower.nudge(-kNudgeStepMs), -500);
  for (int i = 0; i < 200; ++i) follower.nudge(kNudgeStepMs);
  EXPECT_EQ(follower.nudge_ms(), kNudgeLimitMs);
  follower.follow(song(kForms));  // the next song starts from its own
  EXPECT_EQ(follower.nudge_ms(), 0);
}

TEST_F(DesktopFlow, OffItDrawsNothingAndRunsNoTimerAndTheTranslationWaitsToBeAskedFor) {
  follower.follow(song("[00:00.00]晴天\n[00:00.00]Sunny day\n[00:02.00]下一句"));
  play_for(1000);
  EXPECT_TRUE(window.drawn().empty());
  EXPECT_FALSE(window.timer());
  follower.set_enabled(true);
  EXPECT_TRUE(window.visible());
  EXPECT_EQ(window.drawn().back().translation, "");
  follower.set_show_translation(true);
  EXPECT_EQ(window.drawn().back().translation, "Sunny day");
  EXPECT_TRUE(window.timer());
  follower.set_enabled(false);
  EXPECT_FALSE(window.visible());
  EXPECT_FALSE(window.timer());
  follower.follow(DesktopLyrics{});  // between songs: empty
  follower.set_enabled(true);
  EXPECT_EQ(window.drawn().back(), DesktopPicture{});
  EXPECT_FALSE(window.timer());
}

}  // namespace
}  // namespace qiwa
