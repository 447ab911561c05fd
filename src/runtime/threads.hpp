#pragma once
#include <functional>

namespace qiwa {

// Starts a detached thread; false when it could not be created.
bool start_thread(std::function<void()> routine);
// Dispatches the calling thread's queued window messages; returns when none is left or WM_QUIT is next.
void process_pending_messages();

}  // namespace qiwa
