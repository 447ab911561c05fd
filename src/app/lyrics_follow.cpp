#include "app/lyrics_follow.hpp"

namespace qiwa {

void LyricsFollower::follow(std::vector<LyricCue> cues) {
  stop();
  if (cues.empty()) return;  // no tags: the box stays as it is
  cues_ = std::move(cues);
  window_.start_timer(Timer::lyrics, kTickMs, [this] { tick(); });
}

void LyricsFollower::stop() {
  if (cues_.empty()) return;
  window_.stop_timer(Timer::lyrics);
  cues_.clear();
  marked_ = -1;
  remark_ = false;
  hold_until_ = 0;
}

// Moves the mark only when the line changes; a box the user scrolled or selected in since the last mark
// is left alone for a while, then the mark comes back.
void LyricsFollower::tick() {
  if (cues_.empty()) return;
  const std::int64_t now = clock_.now_ms();
  if (marked_ >= 0) {
    const EditView view = window_.lyrics_view();
    if (view != left_) {
      left_ = view;
      hold_until_ = now + kUserGraceMs;
      remark_ = true;
    }
  }
  if (now < hold_until_) return;
  const int line = current_line(cues_, player_.position_ms());
  if (line < 0 || (line == marked_ && !remark_)) return;
  window_.mark_lyrics_line(line);
  left_ = window_.lyrics_view();
  marked_ = line;
  remark_ = false;
}

}  // namespace qiwa
