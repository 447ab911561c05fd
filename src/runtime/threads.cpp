#include "runtime/threads.hpp"

#include <system_error>
#include <thread>

namespace qiwa {

bool start_thread(std::function<void()> routine) {
  if (!routine) return false;
  try {
    std::thread([routine = std::move(routine)] {
      try {
        routine();
      } catch (...) {
        // An escaping exception would end the whole process; the worker just ends.
      }
    }).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace qiwa
