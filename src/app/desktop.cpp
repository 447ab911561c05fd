#include "app/desktop.hpp"

#include "app/desktop_lyrics.hpp"
#include "app/keeping.hpp"
#include "app/listening.hpp"
#include "app/playing.hpp"

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

// The desktop shows the song's lines (its title and singer when it has none), or nothing between songs.
void follow_song(AppContext& app) {
  if (!app.desktop) return;
  const SongRow& row = app.desktop_song.row;
  if (row.title.empty()) {
    app.desktop->follow(DesktopLyrics());
    return;
  }
  app.desktop->follow(DesktopLyrics(app.song_lyrics, row.title, row.singer, &app.song_translation), app.lyrics_nudge_ms);
  app.desktop->set_playing(app.playing_id && !app.paused);
}

void show_state(AppContext& app) {
  app.window.show_desktop_lyrics_state(app.desktop && app.desktop->enabled(), app.stores.settings.desktop_lyrics().locked);
}

// The window and what its buttons do, made once.
bool make_desktop(AppContext& app) {
  if (app.desktop) return true;
  DesktopButtons buttons;
  buttons.locked = [&app] {
    keep(app, [](DesktopLyricsPlace& kept) { kept.locked = true; });
    show_state(app);
  };
  buttons.earlier = [&app] { nudge_lyrics(app, kNudgeStepMs); };
  buttons.later = [&app] { nudge_lyrics(app, -kNudgeStepMs); };
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
  app.desktop->set_show_translation(kept.translation);
  follow_song(app);  // turned on in the middle of a song: its line at once
  return true;
}

// The overlay's buttons do what the strip's do; play and pause only change what they name.
void overlay_pressed(AppContext& app, MediaButton button) {
  switch (button) {
    case MediaButton::play:
      if (app.paused) toggle_pause(app);
      break;
    case MediaButton::pause:
      if (!app.paused) toggle_pause(app);
      break;
    case MediaButton::previous: play_previous(app); break;
    case MediaButton::next: play_next(app); break;
  }
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
  keep(app, [on](DesktopLyricsPlace& kept) { kept.on = on; });
  show_state(app);
}

void toggle_desktop_lock(AppContext& app) {
  if (!make_desktop(app)) return;
  const bool locked = !app.stores.settings.desktop_lyrics().locked;
  app.desktop->set_locked(locked);
  keep(app, [locked](DesktopLyricsPlace& kept) { kept.locked = locked; });
  show_state(app);
}

void toggle_translation(AppContext& app) {
  const bool on = !app.stores.settings.desktop_lyrics().translation;
  keep(app, [on](DesktopLyricsPlace& kept) { kept.translation = on; });
  if (app.desktop) app.desktop->set_show_translation(on);
}

void nudge_lyrics(AppContext& app, std::int64_t delta_ms) {
  if (app.desktop_song.row.title.empty()) return;  // between songs there is nothing to move
  app.lyrics_nudge_ms = std::clamp(app.lyrics_nudge_ms + delta_ms, -kNudgeLimitMs, kNudgeLimitMs);
  app.lyrics.set_nudge_ms(app.lyrics_nudge_ms);
  if (app.desktop) app.desktop->set_nudge_ms(app.lyrics_nudge_ms);
  app.stores.library.set_nudge_ms(app.desktop_song, static_cast<int>(app.lyrics_nudge_ms));
  stores_changed(app);
}

void desktop_song(AppContext& app, const Lyrics& lyrics, const Lyrics& translation, const SongRow& row) {
  app.desktop_song = LibrarySong{row.source, row, {}};
  app.desktop_song.row.path.clear();
  app.song_lyrics = lyrics;
  app.song_translation = translation;
  app.lyrics_nudge_ms = app.stores.library.nudge_ms(app.desktop_song);
  follow_song(app);
}

void desktop_between_songs(AppContext& app) {
  app.desktop_song = {};
  app.song_lyrics = {};
  app.song_translation = {};
  app.lyrics_nudge_ms = 0;
  follow_song(app);
  if (app.overlay) app.overlay->clear();
}

void overlay_song(AppContext& app, const SongRow& row, const Bytes& cover) {
  if (!app.overlay_asked) {
    app.overlay_asked = true;
    app.overlay = app.window.media_overlay([&app](MediaButton button) { overlay_pressed(app, button); });
  }
  if (!app.overlay) return;
  app.overlay->show(row.title, row.singer, cover);
  app.overlay->set_playing(app.playing_id && !app.paused);
}

void desktop_playing(AppContext& app, bool playing) {
  if (app.desktop) app.desktop->set_playing(playing);
  if (app.overlay) app.overlay->set_playing(playing);
}

void desktop_seeked(AppContext& app) {
  if (app.desktop) app.desktop->seeked();
}

}  // namespace qiwa
