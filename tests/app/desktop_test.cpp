#include "app/desktop.hpp"

#include "app/app_fixture.hpp"
#include "app/application.hpp"
#include "app/lists.hpp"
#include "app/listening.hpp"
#include "app/playing.hpp"
#include "fakes/test_song.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;

struct Desktop : AppFixture {
  void SetUp() override {
    fake.executor.run_posts_at_once(true);
    fake.service.on("url", [](const fakes::ServiceCall&) {
      return jsonp(R"({"url":"http:\/\/127.0.0.1:8765\/music\/netease\/1.mp3","size":27,"br":128})");
    });
    fake.service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":""})"); });
    fake.service.on("lyric", [](const fakes::ServiceCall&) {
      return jsonp(R"({"lyric":"[00:00.00]first\n[00:02.00]second"})");
    });
    fake.downloader.serve("http://127.0.0.1:8765/music/netease/1.mp3", {fakes::test_song()});
  }
  void play() {
    show_rows({SongRow{"1", "p1", "1", "晴天", "周", "叶", "netease"}});
    play_selected(app);
    settle();
  }
};

// Turned on, the line follows the song playing; the state, the nudge of the song and the place are kept,
// and the next start shows it again; turned off, it is hidden.
TEST_F(Desktop, TheLineFollowsTheSongAndWhatTheUserLeftIsKept) {
  start_desktop(app);
  EXPECT_FALSE(window.desktop().visible());
  toggle_desktop_lyrics(app);
  EXPECT_TRUE(window.desktop_lyrics_shown_on());
  EXPECT_TRUE(stores.settings.desktop_lyrics().on);
  play();
  ASSERT_FALSE(window.desktop().drawn().empty());
  EXPECT_EQ(window.desktop().drawn().back().current, "first");
  window.desktop_buttons().earlier();
  const LibrarySong song{"netease", SongRow{"1", "p1", "1", "晴天", "周", "叶", "netease"}, {}};
  EXPECT_EQ(stores.library.nudge_ms(song), 500);
  DesktopPlace place;
  place.left = 40, place.top = 600, place.width = 800, place.text_size = 48, place.placed = true;
  window.desktop_buttons().moved(place);
  EXPECT_EQ(stores.settings.desktop_lyrics().font_px, 48);
  stop_playing(app);
  EXPECT_TRUE(window.desktop().drawn().back().current.empty());  // between songs: nothing

  AppContext next{window, fake.platform(), stores, "127.0.0.1:8765"};
  start_desktop(next);
  EXPECT_EQ(window.desktop().place().text_size, 48);
  EXPECT_TRUE(next.desktop && next.desktop->enabled());
  toggle_desktop_lyrics(next);
  EXPECT_FALSE(stores.settings.desktop_lyrics().on);
  next.desktop.reset();
}

// Earlier and later move the box's mark and the desktop line together, at once, and are kept for the
// song; the translation the service sends shows under the line once asked for, also for a desktop
// turned on in the middle of the song.
TEST_F(Desktop, TheNudgeMovesBothLyricsAndTheTranslationShowsWhenAskedFor) {
  fake.service.on("lyric", [](const fakes::ServiceCall&) {
    return jsonp(R"({"lyric":"[00:00.00]first\n[00:02.00]second","tlyric":"[00:00.00]eins\n[00:02.00]zwei"})");
  });
  play();
  fake.player.set_position_ms(1600);
  app.lyrics.tick();
  EXPECT_EQ(window.marked_lines().back(), 0);
  Application(app).on_event(WindowEvent::lyrics_earlier);
  EXPECT_EQ(window.marked_lines().back(), 1);  // 2100 ms in the lines' time, without waiting for a tick
  const LibrarySong song{"netease", SongRow{"1", "p1", "1", "晴天", "周", "叶", "netease"}, {}};
  EXPECT_EQ(stores.library.nudge_ms(song), 500);

  open_list_menu(app);
  EXPECT_TRUE(window.menu().song_lyrics);
  EXPECT_FALSE(window.menu().translation);
  toggle_desktop_lyrics(app);
  EXPECT_EQ(window.desktop().drawn().back().current, "second");
  EXPECT_TRUE(window.desktop().drawn().back().translation.empty());
  Application(app).on_event(WindowEvent::translation);
  EXPECT_EQ(window.desktop().drawn().back().translation, "zwei");
  EXPECT_TRUE(stores.settings.desktop_lyrics().translation);
  Application(app).on_event(WindowEvent::lyrics_later);
  EXPECT_EQ(window.desktop().drawn().back().current, "first");
  EXPECT_EQ(window.marked_lines().back(), 0);
  EXPECT_EQ(stores.library.nudge_ms(song), 0);

  stop_playing(app);
  open_list_menu(app);
  EXPECT_FALSE(window.menu().song_lyrics);  // between songs there is nothing to move
  app.desktop.reset();
}

// Locked by its bar, the window lets clicks through and the menus say so; only the menus unlock it, and
// the lock is kept over a restart.
TEST_F(Desktop, TheBarLocksItAndOnlyTheMenusUnlockIt) {
  start_desktop(app);
  toggle_desktop_lyrics(app);
  EXPECT_FALSE(window.desktop().locked());
  window.desktop_buttons().locked();
  EXPECT_TRUE(stores.settings.desktop_lyrics().locked);
  EXPECT_TRUE(window.desktop_lyrics_shown_locked());
  AppContext next{window, fake.platform(), stores, "127.0.0.1:8765"};
  start_desktop(next);
  EXPECT_TRUE(window.desktop().locked());
  EXPECT_TRUE(window.desktop_lyrics_shown_locked());
  toggle_desktop_lock(next);
  EXPECT_FALSE(window.desktop().locked());
  EXPECT_FALSE(window.desktop_lyrics_shown_locked());
  EXPECT_FALSE(stores.settings.desktop_lyrics().locked);
  EXPECT_TRUE(window.desktop_lyrics_shown_on());  // unlocking leaves it on
  next.desktop.reset();
}

// Closing to the tray follows the setting; keys another program holds are said in the settings.
TEST_F(Desktop, TheTrayAndTheTakenKeysFollowTheSettings) {
  stores.settings.set_close_to_tray(true);
  window.take_keys("Ctrl+Alt+L");
  start_desktop(app);
  EXPECT_TRUE(window.close_to_tray());
  EXPECT_NE(app.keys_note.find("Ctrl+Alt+L"), Text::npos);
}

}  // namespace
}  // namespace qiwa
