#include "app/queue.hpp"

#include <utility>

namespace qiwa {

PlayMode next_mode(PlayMode mode) { return static_cast<PlayMode>((static_cast<int>(mode) + 1) % kPlayModeCount); }

const char* mode_name(PlayMode mode) {
  switch (mode) {
    case PlayMode::in_order: return "顺序播放";
    case PlayMode::repeat_list: return "列表循环";
    case PlayMode::repeat_one: return "单曲循环";
    case PlayMode::shuffle: return "随机播放";
  }
  return "";
}

void Queue::start(int size, int row) {
  size_ = size > 0 ? size : 0;
  current_ = row >= 0 && row < size_ ? row : -1;
  played_.clear();
  if (current_ >= 0) played_.push_back(current_);
  deal(false);  // the row the user played is this round's first
}

void Queue::grow(int size) {
  if (size <= size_) return;
  for (int row = size_; row < size; ++row) {
    // Each new row goes to a random place among those still to come in this round.
    round_.push_back(row);
    std::swap(round_.back(), round_[next_random() % round_.size()]);
  }
  size_ = size;
}

void Queue::clear() {
  size_ = 0;
  current_ = -1;
  round_.clear();
  played_.clear();
}

void Queue::set_mode(PlayMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (mode == PlayMode::shuffle) deal(false);
}

std::uint32_t Queue::next_random() {
  // xorshift32: a queue's order needs no more than to look random.
  random_ ^= random_ << 13;
  random_ ^= random_ >> 17;
  random_ ^= random_ << 5;
  return random_;
}

// A round in a random order, the next to play last: every row, or every row but the current one when
// the current one belongs to the round. A whole new round never begins with the row just played.
void Queue::deal(bool whole) {
  round_.clear();
  for (int row = 0; row < size_; ++row)
    if (whole || row != current_) round_.push_back(row);
  for (std::size_t i = round_.size(); i > 1; --i) std::swap(round_[i - 1], round_[next_random() % i]);
  if (round_.size() > 1 && round_.back() == current_) std::swap(round_.back(), round_.front());
}

// A shuffled round that is over is dealt anew at once, so the next row is always known ahead (the next
// song is fetched while this one plays). A list of one row repeats it.
std::optional<int> Queue::following(bool by_user) const {
  if (size_ == 0) return std::nullopt;
  switch (mode_) {
    case PlayMode::repeat_one:
      if (!by_user) return current_ >= 0 ? std::optional<int>(current_) : std::nullopt;
      return (current_ + 1) % size_;
    case PlayMode::repeat_list: return (current_ + 1) % size_;
    case PlayMode::in_order:
      if (current_ + 1 < size_) return current_ + 1;
      return by_user ? std::optional<int>(0) : std::nullopt;
    case PlayMode::shuffle: return round_.empty() ? current_ : round_.back();
  }
  return std::nullopt;
}

// Enough of the way back for any user; a night of music does not grow it without end.
void Queue::remember(int row) {
  constexpr std::size_t kKept = 1000;
  if (played_.size() >= kKept) played_.erase(played_.begin(), played_.begin() + kKept / 2);
  played_.push_back(row);
}

std::optional<int> Queue::peek_next() const { return following(false); }

std::optional<int> Queue::move_to(std::optional<int> next) {
  if (!next || *next < 0) return std::nullopt;
  if (mode_ == PlayMode::shuffle && !round_.empty() && round_.back() == *next) {
    round_.pop_back();
    current_ = *next;
    if (round_.empty()) deal(true);
  } else {
    current_ = *next;
  }
  remember(current_);
  return current_;
}

std::optional<int> Queue::advance() { return move_to(following(false)); }

std::optional<int> Queue::step_next() { return move_to(following(true)); }

std::optional<int> Queue::step_previous() {
  if (size_ == 0) return std::nullopt;
  if (mode_ == PlayMode::shuffle) {
    if (played_.size() < 2) return current_ >= 0 ? std::optional<int>(current_) : std::nullopt;
    round_.push_back(played_.back());  // it comes again next
    played_.pop_back();
    current_ = played_.back();
    return current_;
  }
  current_ = current_ > 0 ? current_ - 1 : size_ - 1;
  remember(current_);
  return current_;
}

}  // namespace qiwa
