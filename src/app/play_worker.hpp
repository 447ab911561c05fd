#pragma once
// The play thread: resolve the song at the service, download it, play it, show cover and lyrics.
#include <stop_token>

#include "app/context.hpp"
#include "music/track.hpp"

namespace qiwa {

// What a play click captured on the window's thread from the selected row.
struct PlayRequest {
  std::stop_token stop;  // raised when a newer play starts, or the window closes
  unsigned tag = 0;      // the first number tried in this play's part file name
  Track track;
};

inline constexpr const char* kParseFailed = "抱歉，当前歌曲解析失败！";
inline constexpr const char* kDownloadFailed = "抱歉，当前歌曲下载失败！";
inline constexpr const char* kIdleTitle = "Qiwa音乐";
inline constexpr const char* kBufferingTitle = "歌曲缓冲中，请稍等！";
inline constexpr const char* kBufferedTitle = "歌曲缓冲中，请稍等！！";
inline constexpr const char* kPlayingTitle = "当前播放音乐:";
// 按钮4's captions: what a click does.
inline constexpr const char* kPauseCaption = "暂停播放";
inline constexpr const char* kResumeCaption = "继续播放";

// A song this program saved whole before plays from its file at once, without the service; any other
// plays from a new download, saved under the first of the title's names that no file has.
void run_play(AppContext& app, const PlayRequest& request);

}  // namespace qiwa
