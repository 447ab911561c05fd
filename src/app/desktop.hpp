#pragma once
// The desktop lyrics, the tray's setting and the global keys as the application drives them: the line
// over the desktop follows the song playing, is turned on and off from the menus and Ctrl+Alt+L, keeps
// its place, size and state, and its earlier/later nudge for each song.
#include "app/context.hpp"
#include "music/lyrics.hpp"

namespace qiwa {

// What the user left: the desktop lyrics on or off, closing to the tray, which global keys are taken.
void start_desktop(AppContext& app);
void toggle_desktop_lyrics(AppContext& app);
// A song's lines are known (none: its title and singer show); between songs, nothing shows.
void desktop_song(AppContext& app, const Lyrics& lyrics, const SongRow& row);
void desktop_between_songs(AppContext& app);
void desktop_playing(AppContext& app, bool playing);
void desktop_seeked(AppContext& app);

}  // namespace qiwa
