#pragma once
// An executor that runs nothing by itself: work waits in two queues (workers, the window's thread) until
// the test runs it, on the test's own thread, in an order the test chooses. Nothing in a test then waits
// for a thread.
#include <deque>
#include <functional>

#include "runtime/executor.hpp"

namespace qiwa::fakes {

class ManualExecutor final : public Executor {
 public:
  bool run(std::function<void()> work) override {
    if (closed_ || refuse_) return false;
    workers_.push_back(std::move(work));
    ++started_;
    return true;
  }
  // Counted apart: a test can tell that long work asked for the low priority.
  bool run_low(std::function<void()> work) override {
    if (!run(std::move(work))) return false;
    ++started_low_;
    return true;
  }
  void post(std::function<void()> work) override {
    if (closed_) return;
    posted_.push_back(std::move(work));
    if (eager_ && !draining_) {  // a window's thread that is always idle
      draining_ = true;
      run_posted();
      draining_ = false;
    }
  }
  bool close() override {
    closed_ = true;
    posted_.clear();
    // A closing program waits for its workers: they run to their end, seeing their stop tokens raised.
    while (!workers_.empty()) run_next_worker();
    return true;
  }

  // Runs the oldest waiting worker; false when none waits.
  bool run_next_worker() { return take(workers_); }
  // Runs the oldest posted work; false when none waits.
  bool run_next_posted() { return take(posted_); }
  // What the window's thread has waiting, then the workers, over and over until nothing is left.
  void run_all() {
    while (run_next_posted() || run_next_worker()) {
    }
  }
  // Only what was posted, so that a test can look between a worker's steps.
  void run_posted() {
    while (run_next_posted()) {
    }
  }

  std::size_t waiting_workers() const { return workers_.size(); }
  std::size_t waiting_posts() const { return posted_.size(); }
  int started() const { return started_; }
  int started_low() const { return started_low_; }
  // Posted work runs as soon as it is posted, between a worker's steps, as on a window's thread that
  // always keeps up; off, it waits until the test runs it.
  void run_posts_at_once(bool eager) { eager_ = eager; }
  // Every later run is refused, as when the system has no thread to give.
  void refuse_workers(bool refuse) { refuse_ = refuse; }
  bool closed() const { return closed_; }

 private:
  static bool take(std::deque<std::function<void()>>& queue) {
    if (queue.empty()) return false;
    auto work = std::move(queue.front());
    queue.pop_front();
    work();
    return true;
  }

  std::deque<std::function<void()>> workers_;
  std::deque<std::function<void()>> posted_;
  bool closed_ = false;
  bool refuse_ = false;
  bool eager_ = false;
  bool draining_ = false;
  int started_ = 0;
  int started_low_ = 0;
};

}  // namespace qiwa::fakes
