#pragma once
// The desktop lyrics, the tray's setting, the global keys and the system's media overlay as the
// application drives them: the line over the desktop follows the song playing, is turned on and off from
// the menus and Ctrl+Alt+L, keeps its place, size and state, and its earlier/later nudge for each song;
// the overlay shows the song playing and its buttons work as the strip's.
#include "app/context.hpp"
#include "music/lyrics.hpp"

namespace qiwa {

// What the user left: the desktop lyrics on or off, closing to the tray, which global keys are taken.
void start_desktop(AppContext& app);
void toggle_desktop_lyrics(AppContext& app);
// Locked, clicks go through the desktop lyrics to what lies below; its bar locks it, the menus unlock it.
void toggle_desktop_lock(AppContext& app);
// The line's translation under it on the desktop, or not; kept.
void toggle_translation(AppContext& app);
// The song's lines earlier (positive) or later, in the lyrics box and on the desktop; kept for the song.
void nudge_lyrics(AppContext& app, std::int64_t delta_ms);
// A song's lines and their translation are known (none: its title and singer show); its nudge is
// looked up. Between songs, nothing shows.
void desktop_song(AppContext& app, const Lyrics& lyrics, const Lyrics& translation, const SongRow& row);
void desktop_between_songs(AppContext& app);
// The song's cover came: the overlay (made at the first song) shows it with its title and singer.
void overlay_song(AppContext& app, const SongRow& row, const Bytes& cover);
void desktop_playing(AppContext& app, bool playing);
void desktop_seeked(AppContext& app);

}  // namespace qiwa
