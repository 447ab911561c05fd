#include "app/desktop.hpp"

#include "app/desktop_lyrics.hpp"
#include "app/keeping.hpp"

namespace qiwa {
namespace {

constexpr const char* kTakenKeysNote = "这些全局快捷键已被其他程序占用，留给它们：";

DesktopPlace window_place(const DesktopLyricsPlace& kept) {
  DesktopPlace place;
  place.left = kept.x;
  place.top = kept.y;
  place.width = kept.width;
  place.text_size = std::clamp(kept.font_px, DesktopPlace::kMinTextSize, DesktopPlace::kMaxTextSize);
  place.placed = kept.width > 0;
  return place;
}

void keep(AppContext& app, const std::function<void(DesktopLyricsPlace&)>& change) {
  DesktopLyricsPlace kept = app.stores.settings.desktop_lyrics();
  const DesktopLyricsPlace before = kept;
  change(kept);
  if (kept == before) return;
  app.stores.settings.set_desktop_lyrics(kept);
  stores_changed(app);
}

void keep_place(AppContext& app, const DesktopPlace& place) {
  keep(app, [&](DesktopLyricsPlace& kept) {
    kept.x = place.left;
    kept.y = place.top;
    kept.width = place.width;
    kept.font_px = place.text_size;
  });
}

// The nudge of the song now showing moves its lines, and is kept for it.
void nudge(AppContext& app, std::int64_t delta_ms) {
  if (!app.desktop) return;
  const std::int64_t ms = app.desktop->nudge(delta_ms);
  if (app.desktop_song.row.title.empty()) return;
  app.stores.library.set_nudge_ms(app.desktop_song, static_cast<int>(ms));
  stores_changed(app);
}

// The window and what its buttons do, made once.
bool make_desktop(AppContext& app) {
  if (app.desktop) return true;
  DesktopButtons buttons;
  buttons.locked = [&app] { keep(app, [](DesktopLyricsPlace& kept) { kept.locked = true; }); };
  buttons.earlier = [&app] { nudge(app, kNudgeStepMs); };
  buttons.later = [&app] { nudge(app, -kNudgeStepMs); };
  buttons.closed = [&app] {
    if (app.desktop && app.desktop->enabled()) toggle_desktop_lyrics(app);
  };
  buttons.moved = [&app](const DesktopPlace& place) { keep_place(app, place); };
  DesktopLyricsWindow* window = app.window.desktop_lyrics(std::move(buttons));
  if (!window) return false;
  const DesktopLyricsPlace kept = app.stores.settings.desktop_lyrics();
  window->set_place(window_place(kept));
  window->set_locked(kept.locked);
  app.desktop = std::make_unique<DesktopLyricsFollower>(*window, app.platform.player);
  return true;
}

}  // namespace

void start_desktop(AppContext& app) {
  app.window.set_close_to_tray(app.stores.settings.close_to_tray());
  const Text taken = app.window.taken_keys();
  app.keys_note = taken.empty() ? Text() : Text(kTakenKeysNote) + taken;
  if (app.stores.settings.desktop_lyrics().on) toggle_desktop_lyrics(app);
}

void toggle_desktop_lyrics(AppContext& app) {
  if (!make_desktop(app)) return;
  const bool on = !app.desktop->enabled();
  app.desktop->set_enabled(on);
  app.desktop->set_playing(on && app.playing_id && !app.paused);
  app.window.show_desktop_lyrics_state(on);
  keep(app, [on](DesktopLyricsPlace& kept) { kept.on = on; });
}

void desktop_song(AppContext& app, const Lyrics& lyrics, const SongRow& row) {
  app.desktop_song = LibrarySong{row.source, row, {}};
  app.desktop_song.row.path.clear();
  if (!app.desktop) return;
  app.desktop->follow(DesktopLyrics(lyrics, row.title, row.singer), app.stores.library.nudge_ms(app.desktop_song));
  app.desktop->set_playing(app.playing_id && !app.paused);
}

void desktop_between_songs(AppContext& app) {
  app.desktop_song = {};
  if (app.desktop) app.desktop->follow(DesktopLyrics());
}

void desktop_playing(AppContext& app, bool playing) {
  if (app.desktop) app.desktop->set_playing(playing);
}

void desktop_seeked(AppContext& app) {
  if (app.desktop) app.desktop->seeked();
}

}  // namespace qiwa
