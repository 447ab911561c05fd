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

// Where a play comes from: how it fails, and whether the sound changes now.
enum class PlayOrigin {
  user,   // a click: a failure shows in a box
  queue,  // the queue reached the row by itself (or next/previous): a failure shows in the title and the
          // queue goes on
  ahead   // fetched while the song before still plays, to follow it without a gap
};

// Plays the selected row (an empty song when none is selected, which the service cannot resolve), and
// makes the list as it stands the queue.
void play_selected(AppContext& app);
// Plays a row of the queue's list: from its file when the song is on disk, else through the service.
void play_row(AppContext& app, int row, PlayOrigin origin, const StartAt& at = {});
// Fetches the row that follows the current one, once the current one is whole.
void fetch_ahead(AppContext& app);
void refetch_ahead(AppContext& app);
// What the player tells, on the window's thread: a song it could not open is never kept, and once
// nothing is loaded the media key is left to other programs.
void on_player_event(AppContext& app, const PlayerEvent& event);
// Pauses the song, or continues it.
void toggle_pause(AppContext& app);

}  // namespace qiwa
