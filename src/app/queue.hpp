#pragma once
// The order songs play in: the rows of the list a song was played from, walked by the play mode. The
// queue keeps positions only (indexes into that list); rows that join the list later (a next page) join
// it too.
#include <cstdint>
#include <optional>
#include <vector>

namespace qiwa {

enum class PlayMode {
  in_order,     // to the last row, then stop
  repeat_list,  // after the last row, the first again
  repeat_one,   // the same row again
  shuffle       // every row once, in a random order, before any repeats
};
inline constexpr int kPlayModeCount = 4;
// The next mode of the mode button's cycle.
PlayMode next_mode(PlayMode mode);
const char* mode_name(PlayMode mode);  // its tooltip

class Queue {
 public:
  explicit Queue(std::uint32_t seed = 0x9e3779b9u) : random_(seed ? seed : 1) {}

  // A new queue over a list of `size` rows, starting at the row the user played.
  void start(int size, int row);
  // Rows appended to the list the queue walks (a next page): `size` is its new length.
  void grow(int size);
  void clear();
  void set_mode(PlayMode mode);
  PlayMode mode() const { return mode_; }

  int current() const { return current_; }  // -1 when nothing plays from a list
  int size() const { return size_; }
  // The row that follows the current one when it ends by itself, if any; nothing moves.
  std::optional<int> peek_next() const;
  // Moves to that row (the song ended, or a row failed and is skipped).
  std::optional<int> advance();
  // The user's next and previous: like an ending song, but in order modes they go round the list and
  // repeat-one moves on too (the user asked for another song).
  std::optional<int> step_next();
  std::optional<int> step_previous();

 private:
  std::optional<int> following(bool by_user) const;
  std::optional<int> move_to(std::optional<int> next);
  void remember(int row);
  void deal(bool whole);
  std::uint32_t next_random();

  PlayMode mode_ = PlayMode::in_order;
  int size_ = 0;
  int current_ = -1;
  std::vector<int> round_;   // shuffle: the rows still to come in this round, next last
  std::vector<int> played_;  // shuffle: the rows played, for previous
  std::uint32_t random_;
};

}  // namespace qiwa
