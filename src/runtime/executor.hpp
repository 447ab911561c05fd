#pragma once
// Where work runs: on a worker thread, or back on the window's thread. Every worker is owned and joined;
// the window's thread runs posted work in the order it was posted. Tests hand in one that runs
// everything when they say so, so nothing in them waits for a thread.
#include <functional>

namespace qiwa {

class Executor {
 public:
  virtual ~Executor() = default;
  // Runs work on a worker thread; false (work not run) when none can be had or the executor is closed.
  virtual bool run(std::function<void()> work) = 0;
  // The same for long work no one waits for (measuring a song): its worker runs at the system's lowest
  // priority, for the processor and the disk, so that the sound and the window never wait for it.
  virtual bool run_low(std::function<void()> work) { return run(std::move(work)); }
  // Runs work on the window's thread, after what was posted before; dropped once closed.
  virtual void post(std::function<void()> work) = 0;
  // Refuses new work, drops posted work not yet run and waits for every worker to end (raise their stop
  // tokens first). False when one was still in a call it could not leave in time: the caller then ends
  // the process rather than free what that worker uses.
  virtual bool close() = 0;
};

}  // namespace qiwa
