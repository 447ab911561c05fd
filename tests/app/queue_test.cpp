#include "app/queue.hpp"

#include <gtest/gtest.h>

#include <set>

namespace qiwa {
namespace {

std::vector<int> advance_all(Queue& q, int times) {
  std::vector<int> rows;
  for (int i = 0; i < times; ++i) {
    std::optional<int> next = q.advance();
    if (!next) break;
    rows.push_back(*next);
  }
  return rows;
}

TEST(Queue, InOrderStopsAfterTheLastRowButTheUsersNextGoesRound) {
  Queue q;
  q.start(5, 2);
  EXPECT_EQ(q.peek_next(), 3);
  EXPECT_EQ(advance_all(q, 10), (std::vector<int>{3, 4}));
  EXPECT_EQ(q.current(), 4);
  EXPECT_EQ(q.peek_next(), std::nullopt);
  EXPECT_EQ(q.step_next(), 0);
  EXPECT_EQ(q.step_previous(), 4);
  EXPECT_EQ(q.step_previous(), 3);
}

TEST(Queue, RepeatListGoesRoundAndRepeatOneStaysUnlessTheUserMovesOn) {
  Queue q;
  q.set_mode(PlayMode::repeat_list);
  q.start(3, 1);
  EXPECT_EQ(advance_all(q, 5), (std::vector<int>{2, 0, 1, 2, 0}));
  q.set_mode(PlayMode::repeat_one);
  EXPECT_EQ(advance_all(q, 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(q.step_next(), 1);
  EXPECT_EQ(q.peek_next(), 1);
}

// Shuffle: every row once in a round before any repeats, the next row known ahead at every step (even
// across rounds), and previous walks back the way the songs came.
TEST(Queue, ShufflePlaysEveryRowOnceARoundAndPreviousRetracesIt) {
  for (std::uint32_t seed : {1u, 7u, 12345u}) {
    Queue q(seed);
    q.set_mode(PlayMode::shuffle);
    q.start(5, 3);
    std::vector<int> order{3};
    for (int i = 0; i < 14; ++i) {
      const std::optional<int> ahead = q.peek_next();
      ASSERT_TRUE(ahead);
      ASSERT_EQ(q.advance(), ahead);
      order.push_back(*ahead);
    }
    for (int round = 0; round < 3; ++round) {
      std::set<int> rows(order.begin() + round * 5, order.begin() + round * 5 + 5);
      EXPECT_EQ(rows.size(), 5u) << "seed " << seed << " round " << round;
    }
    EXPECT_EQ(q.step_previous(), order[13]);
    EXPECT_EQ(q.step_previous(), order[12]);
    EXPECT_EQ(q.advance(), order[13]);  // forward again the same way
  }
}

TEST(Queue, RowsOfANextPageJoinTheRoundStillToCome) {
  Queue q(99);
  q.set_mode(PlayMode::shuffle);
  q.start(2, 0);
  EXPECT_EQ(q.advance(), 1);
  q.grow(6);  // a next page while row 1 plays
  std::set<int> rows;
  for (int i = 0; i < 5; ++i) rows.insert(*q.advance());
  EXPECT_EQ(rows, (std::set<int>{0, 2, 3, 4, 5}));

  Queue in_order;
  in_order.start(2, 1);
  EXPECT_EQ(in_order.peek_next(), std::nullopt);
  in_order.grow(4);
  EXPECT_EQ(advance_all(in_order, 5), (std::vector<int>{2, 3}));
}

TEST(Queue, AnEmptyOrClearedQueueHasNothingToPlay) {
  Queue q;
  EXPECT_EQ(q.advance(), std::nullopt);
  EXPECT_EQ(q.step_next(), std::nullopt);
  EXPECT_EQ(q.step_previous(), std::nullopt);
  q.start(1, 0);
  q.set_mode(PlayMode::shuffle);
  EXPECT_EQ(q.advance(), 0);  // one row: it comes again
  q.clear();
  EXPECT_EQ(q.current(), -1);
  EXPECT_EQ(q.peek_next(), std::nullopt);
}

TEST(Queue, TheModeButtonCyclesThroughTheFourModes) {
  PlayMode m = PlayMode::in_order;
  std::vector<std::string> names;
  for (int i = 0; i < kPlayModeCount; ++i, m = next_mode(m)) names.push_back(mode_name(m));
  EXPECT_EQ(m, PlayMode::in_order);
  EXPECT_EQ(names, (std::vector<std::string>{"顺序播放", "列表循环", "单曲循环", "随机播放"}));
}

}  // namespace
}  // namespace qiwa
