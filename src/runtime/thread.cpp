#include "runtime/thread.hpp"

#include <system_error>

namespace qiwa {

Thread::Thread(std::function<void()> routine) {
  if (!routine) return;
  try {
    thread_ = std::thread([routine = std::move(routine)] {
      try {
        routine();
      } catch (...) {
        // An escaping exception would end the whole process; the thread just ends.
      }
    });
  } catch (const std::system_error&) {
    // No thread: running() says so.
  }
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    join();
    thread_ = std::move(other.thread_);
  }
  return *this;
}

void Thread::join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace qiwa
