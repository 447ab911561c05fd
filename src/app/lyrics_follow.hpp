#pragma once
// Marks the line being sung in the lyrics box while a song plays, on the window's thread.
#include <cstdint>
#include <vector>

#include "app/main_window.hpp"
#include "music/lyrics.hpp"
#include "runtime/clock.hpp"
#include "runtime/player.hpp"

namespace qiwa {

class LyricsFollower {
 public:
  static constexpr int kTickMs = 100;
  static constexpr std::int64_t kUserGraceMs = 4000;  // the box is left alone this long after the user moved it

  LyricsFollower(MainWindow& window, Player& player, Clock& clock) : window_(window), player_(player), clock_(clock) {}

  // The box now holds the lines of the song the player plays: follow them, from its first line, moved
  // `nudge_ms` sooner (later when negative).
  void follow(std::vector<LyricCue> cues, std::int64_t nudge_ms = 0);
  // The user moved the lines earlier or later: the mark follows at once.
  void set_nudge_ms(std::int64_t ms);
  // Nothing to follow any more: a new play began, the song failed or the window closes.
  void stop();
  void tick();

 private:
  MainWindow& window_;
  Player& player_;
  Clock& clock_;
  std::vector<LyricCue> cues_;
  std::int64_t nudge_ms_ = 0;
  int marked_ = -1;        // the line marked last, -1 for none
  bool remark_ = false;    // the user moved the box: mark again after the grace, even the same line
  EditView left_;          // the box as the last mark left it
  std::int64_t hold_until_ = 0;
};

}  // namespace qiwa
