#pragma once
// The play operation: resolve the song at the service, download it, play it, show cover and lyrics.
#include "app/context.hpp"

namespace qiwa {

// What a play click captured on the window's thread from the selected row.
struct PlayRequest {
  unsigned generation = 0;  // the play_generation it belongs to
  Text title, url_id, pic_id, lyric_id;
  Text source;              // current_source at the click
};

inline constexpr const char* kParseFailed = "抱歉，当前歌曲解析失败！";
inline constexpr const char* kDownloadFailed = "抱歉，当前歌曲下载失败！";
inline constexpr const char* kIdleTitle = "Qiwa音乐";
inline constexpr const char* kBufferingTitle = "歌曲缓冲中，请稍等！";
inline constexpr const char* kBufferedTitle = "歌曲缓冲中，请稍等！！";
inline constexpr const char* kPlayingTitle = "当前播放音乐:";

// The song's address from a track answer (escapes decoded); "M800" becomes "M500" when asked.
Text track_address(std::string_view answer, bool qq_quality_rewrite);
// The cover's address from a picture answer (escapes decoded).
Text picture_address(std::string_view answer);

void download_and_play(AppContext& app, const PlayRequest& request);

}  // namespace qiwa
