// The system's media overlay follows the song playing (title, singer, cover), its state and the gaps
// between songs, and its buttons do what the strip's do.
#include <algorithm>

#include "app/app_fixture.hpp"
#include "app/desktop.hpp"
#include "app/listening.hpp"
#include "app/playing.hpp"
#include "fakes/test_song.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

using fakes::jsonp;
using fakes::OverlaySong;
using Kind = PlayerEvent::Kind;

struct Overlay : AppFixture {
  const Text mp3 = fakes::test_song();

  // Each song has a cover of its own: "cover <id>".
  void SetUp() override {
    fake.executor.run_posts_at_once(true);
    serve_addresses(true);
    start_listening(app);
    start_desktop(app);
  }

  static SongRow row(Text id, Text title) { return SongRow{id, "p" + id, id, std::move(title), "歌手" + id, "专辑", "netease"}; }
  static OverlaySong shown(const Text& id, const Text& title) {
    const Text cover = "cover " + id;
    return OverlaySong{title, "歌手" + id, Bytes(cover.begin(), cover.end())};
  }
  void play_first(std::vector<SongRow> rows) {
    for (const SongRow& r : rows) {
      fake.downloader.serve("http://127.0.0.1:8765/music/netease/" + r.url_id + ".mp3", {mp3});
      fake.service.on_get("http://127.0.0.1:8765/cover/p" + r.url_id + ".jpg", fakes::bytes_response("cover " + r.url_id));
    }
    show_rows(std::move(rows));
    play_selected(app);
    settle();
  }
  void took_over(std::uint64_t id, std::uint64_t previous) {
    fake.player.raise(PlayerEvent{Kind::advanced, id, previous});
    settle();
  }
  void ended(std::uint64_t id) {
    fake.player.raise(PlayerEvent{Kind::drained, id});
    settle();
  }
  bool played(std::string_view call) const {
    const std::vector<Text> calls = fake.player.calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  const fakes::FakeMediaOverlay& overlay() const { return window.overlay(); }
};

// Nothing is asked of the system before the first song; then the overlay shows each song as it becomes
// the current one (a song that follows without a gap too), paused and playing as the strip, and nothing
// between songs or once the sound is stopped.
TEST_F(Overlay, ItFollowsTheSongItsStateAndTheGapsBetweenSongs) {
  EXPECT_EQ(window.overlay_asks(), 0);
  play_first({row("1", "一"), row("2", "二")});
  EXPECT_EQ(window.overlay_asks(), 1);
  EXPECT_EQ(overlay().song(), shown("1", "一"));
  EXPECT_TRUE(overlay().playing());

  toggle_pause(app);
  EXPECT_FALSE(overlay().playing());
  toggle_pause(app);
  EXPECT_TRUE(overlay().playing());

  took_over(2, 1);
  EXPECT_EQ(overlay().song(), shown("2", "二"));
  EXPECT_TRUE(overlay().playing());
  ended(2);
  EXPECT_FALSE(overlay().song());  // the last row ended: nothing plays
  EXPECT_FALSE(overlay().playing());

  play_first({row("3", "三")});
  EXPECT_EQ(overlay().song(), shown("3", "三"));
  stop_playing(app);
  EXPECT_FALSE(overlay().song());
  EXPECT_EQ(window.overlay_asks(), 1);  // made once, at the first song
  EXPECT_EQ(overlay().shown(), (std::vector<OverlaySong>{shown("1", "一"), shown("2", "二"), shown("3", "三")}));
}

// Play and pause do only what they name; previous and next step through the list as the strip's buttons.
TEST_F(Overlay, ItsButtonsPauseContinueAndStepThroughTheList) {
  play_first({row("1", "一"), row("2", "二"), row("3", "三")});
  window.press(MediaButton::play);  // it plays already
  EXPECT_FALSE(played("resume"));
  window.press(MediaButton::pause);
  EXPECT_TRUE(window.paused());
  EXPECT_FALSE(overlay().playing());
  window.press(MediaButton::pause);
  EXPECT_TRUE(window.paused());  // still paused: not a toggle
  window.press(MediaButton::play);
  EXPECT_FALSE(window.paused());
  EXPECT_TRUE(played("pause") && played("resume"));

  window.press(MediaButton::next);
  settle();
  EXPECT_EQ(window.playing_row(), 1);
  EXPECT_EQ(overlay().song(), shown("2", "二"));
  window.press(MediaButton::previous);
  settle();
  EXPECT_EQ(window.playing_row(), 0);
  EXPECT_EQ(overlay().song(), shown("1", "一"));
  EXPECT_TRUE(overlay().playing());
}

// A song put back paused at the start shows paused; a song without a cover shows without one.
TEST_F(Overlay, ASongPutBackPausedShowsPausedAndACoverMayBeMissing) {
  fake.service.on("pic", [](const fakes::ServiceCall&) { return jsonp(R"({"url":""})"); });
  fake.downloader.serve("http://127.0.0.1:8765/music/netease/1.mp3", {mp3});
  show_rows({row("1", "一")});
  app.queue_rows = app.rows;
  app.queue.start(1, 0);
  play_row(app, 0, PlayOrigin::queue, StartAt{1500, true});
  settle();
  ASSERT_TRUE(overlay().song());
  EXPECT_EQ(overlay().song()->title, "一");
  EXPECT_TRUE(overlay().song()->cover.empty());
  EXPECT_FALSE(overlay().playing());
  toggle_pause(app);
  EXPECT_TRUE(overlay().playing());
}

// Where the system has no overlay (before Windows 10), it is asked once and the rest plays as ever.
TEST_F(Overlay, WithoutTheSystemsOverlayNothingElseChanges) {
  window.lack_media_overlay();
  play_first({row("1", "一"), row("2", "二")});
  EXPECT_EQ(window.title(), "当前播放音乐:一 [128k]");
  took_over(2, 1);
  EXPECT_EQ(window.title(), "当前播放音乐:二 [128k]");
  toggle_pause(app);
  stop_playing(app);
  EXPECT_EQ(window.overlay_asks(), 1);
  EXPECT_TRUE(overlay().shown().empty());
}

}  // namespace
}  // namespace qiwa
