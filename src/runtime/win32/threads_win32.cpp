// Threads and the message pump of the Windows build.
#include <windows.h>

#include <system_error>
#include <thread>

#include "runtime/threads.hpp"

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

// A WM_QUIT taken off the queue is posted again, so the message loop still sees it.
void process_pending_messages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace qiwa
