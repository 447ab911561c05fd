#pragma once
// Playing: the selected row's song played from the file this program saved it in before, or resolved at
// the service, downloaded into a part file while its sound starts from it and put in place under its
// first free name, with cover and lyrics; and pausing. Network and disk work
// runs on workers; every change the user sees is made on the window's thread, where a play that a newer
// one superseded is dropped.
#include "app/context.hpp"

namespace qiwa {

inline constexpr const char* kParseFailed = "抱歉，当前歌曲解析失败！";
inline constexpr const char* kDownloadFailed = "抱歉，当前歌曲下载失败！";
inline constexpr const char* kIdleTitle = "Qiwa音乐";
inline constexpr const char* kBufferingTitle = "歌曲缓冲中，请稍等！";
inline constexpr const char* kBufferedTitle = "歌曲缓冲中，请稍等！！";
inline constexpr const char* kPlayingTitle = "当前播放音乐:";

// Plays the selected row (an empty song when none is selected, which the service cannot resolve).
void play_selected(AppContext& app);
// What the player tells, on the window's thread: a song it could not open is never kept, and once
// nothing is loaded the media key is left to other programs.
void on_player_event(AppContext& app, const PlayerEvent& event);
// Has the player's events posted to the window's thread, to on_player_event.
void listen_to_player(AppContext& app);
// Pauses the song, or continues it.
void toggle_pause(AppContext& app);

}  // namespace qiwa
