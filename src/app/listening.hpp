#pragma once
// Listening through the list: the strip's previous, next, seek, volume and play mode, the player's own
// events (a song took over from another, the end), the time shown while a song plays, and the queue
// going on past a row that failed.
#include <string_view>

#include "app/context.hpp"

namespace qiwa {

// The volume and play mode the user left, in the player and the strip; the player's events from now.
void start_listening(AppContext& app);
// The window closes (or the session ends): the place of the song playing is kept, and no more events
// come. Once only.
void end_listening(AppContext& app);

void play_previous(AppContext& app);
void play_next(AppContext& app);
void stop_playing(AppContext& app);
void seek_to_target(AppContext& app);
void volume_changed(AppContext& app);
void cycle_mode(AppContext& app);
// The song playing and its place are kept for the next start (before the player stops at exit)...
void keep_playing_place(AppContext& app);
// ...and shown paused there, when its file is still there; nothing plays by itself.
void restore_playing_place(AppContext& app);
// Rows joined the list the results show (a next page).
void rows_added(AppContext& app);

// The strip's time follows the song while it plays, and nothing wakes while it does not.
void follow_position(AppContext& app, bool on);
// A row the queue reached by itself failed: said in the title, and the queue goes on; the third such
// failure in a row stops it with the box.
void queue_row_failed(AppContext& app, std::string_view message, std::string_view title);

}  // namespace qiwa
