#pragma once
#include <functional>

namespace qiwa {

// Starts a detached thread; false when it could not be created. An exception escaping the routine ends
// only the thread, never the process.
bool start_thread(std::function<void()> routine);

}  // namespace qiwa
