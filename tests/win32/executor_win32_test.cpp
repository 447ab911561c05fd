// The executor of the program: workers that end when their work does, and posted work run on the window's
// thread, in order, by its message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "runtime/thread.hpp"
#include "runtime/win32/backends.hpp"

namespace qiwa {
namespace {

// Runs this thread's messages until `done` holds; false when it does not within the bound.
template <class Pred>
bool pump_until(Pred done) {
  for (int i = 0; i < 1000 && !done(); ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return done();
}

TEST(ExecutorWin32, WorkersHandTheirResultsBackToThisThreadInOrder) {
  auto executor = make_win32_executor();
  const DWORD window_thread = GetCurrentThreadId();
  std::vector<int> seen;
  std::atomic<int> wrong_thread{0};
  ASSERT_TRUE(executor->run([&] {
    for (int i = 0; i < 100; ++i)
      executor->post([&, i] {
        if (GetCurrentThreadId() != window_thread) ++wrong_thread;
        seen.push_back(i);
      });
  }));
  ASSERT_TRUE(pump_until([&] { return seen.size() == 100; }));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(wrong_thread, 0);
  EXPECT_TRUE(executor->close());
}

TEST(ExecutorWin32, AnEscapingExceptionEndsOnlyItsWorkAndCloseJoinsTheRest) {
  auto executor = make_win32_executor();
  std::atomic<bool> ran{false};
  ASSERT_TRUE(executor->run([] { throw std::runtime_error("worker failed"); }));
  ASSERT_TRUE(executor->run([&ran] {
    Sleep(50);
    ran = true;
  }));
  EXPECT_FALSE(executor->run({}));
  EXPECT_TRUE(executor->close());  // waits for the second worker
  EXPECT_TRUE(ran);
  EXPECT_FALSE(executor->run([] {}));  // closed: nothing new starts
}

// Posted work not yet run when the executor closes is dropped, never run late.
TEST(ExecutorWin32, PostedWorkNotYetRunIsDroppedAtClose) {
  auto executor = make_win32_executor();
  bool ran = false;
  executor->post([&ran] { ran = true; });
  EXPECT_TRUE(executor->close());
  int spins = 0;
  pump_until([&spins] { return ++spins > 20; });  // the message that announced it comes, and runs nothing
  EXPECT_FALSE(ran);
}

TEST(ThreadWin32, IsJoinedWhenItGoes) {
  std::atomic<int> count{0};
  {
    Thread a([&count] {
      Sleep(30);
      ++count;
    });
    Thread b([] { throw std::runtime_error("ends only this thread"); });
    EXPECT_TRUE(a.running());
  }
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace qiwa
