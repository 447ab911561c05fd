#pragma once
// The one way a thread is started: owned by a Thread, joined when it is destroyed (or by join()), never
// detached. An exception escaping the routine ends only the thread.
#include <functional>
#include <thread>

namespace qiwa {

class Thread {
 public:
  Thread() = default;
  // Starts the routine at once; running() tells whether the system gave a thread.
  explicit Thread(std::function<void()> routine);
  ~Thread() { join(); }
  Thread(Thread&&) noexcept = default;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool running() const { return thread_.joinable(); }
  // Waits for the routine to end; nothing when none runs. Never from the thread itself.
  void join();

 private:
  std::thread thread_;
};

}  // namespace qiwa
