// Work on threads of its own, and back on the window's thread. A worker is a thread for one piece of work:
// none exists while nothing runs. Posted work waits in a queue of its own; a message to a message-only
// window of the window's thread says there is some, so nothing is lost when the window's message queue is
// full and nothing is left allocated when the queue is dropped at exit.
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>

#include "runtime/thread.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

constexpr wchar_t kClass[] = L"QiwaMusicPosted";
constexpr UINT kPostedMessage = WM_APP + 1;
// How long the exit waits for workers to see their raised stop tokens. One still held in a network call
// (a server that does not answer) is then ended with the process: the user does not wait for it.
constexpr auto kCloseWait = std::chrono::milliseconds(100);

class Win32Executor final : public Executor {
 public:
  Win32Executor();
  ~Win32Executor() override { close(); }

  bool run(std::function<void()> work) override { return start(std::move(work), false); }
  bool run_low(std::function<void()> work) override { return start(std::move(work), true); }
  void post(std::function<void()> work) override;
  bool close() override;

 private:
  bool start(std::function<void()> work, bool low);
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void run_posted();
  void reap_locked();

  std::mutex mutex_;
  std::condition_variable idle_;
  bool closed_ = false;
  std::deque<std::function<void()>> posted_;
  bool signalled_ = false;  // a message is on its way to run_posted
  struct Worker {
    Thread thread;
    bool done = false;
  };
  std::list<Worker> workers_;
  WindowHandle window_;
};

Win32Executor::Win32Executor() {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = window_proc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = kClass;
  RegisterClassExW(&cls);
  window_.reset(CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr));
  if (window_) SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK Win32Executor::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kPostedMessage) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (auto* self = reinterpret_cast<Win32Executor*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) self->run_posted();
  return 0;
}

// Finished workers are joined (at once: they have ended) whenever a new one starts or the exit comes.
void Win32Executor::reap_locked() {
  workers_.remove_if([](const Worker& w) { return w.done; });
}

bool Win32Executor::start(std::function<void()> work, bool low) {
  std::lock_guard lock(mutex_);
  if (closed_ || !work) return false;
  reap_locked();
  Worker& worker = workers_.emplace_back();
  worker.thread = Thread([this, &worker, low, work = std::move(work)] {
    // Background mode lowers the thread's processor, disk and memory priority; the thread ends with the
    // work, so it is never ended. Where the system lacks it, idle priority still keeps it off the sound.
    if (low && !SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
    try {
      work();
    } catch (...) {
      // The work ends; the program goes on.
    }
    std::lock_guard done_lock(mutex_);
    worker.done = true;
    idle_.notify_all();
  });
  if (worker.thread.running()) return true;
  workers_.pop_back();
  return false;
}

void Win32Executor::post(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  if (closed_ || !window_) return;
  posted_.push_back(std::move(work));
  if (!signalled_) signalled_ = PostMessageW(window_.get(), kPostedMessage, 0, 0) != FALSE;
}

// Runs what is queued now; what it posts in turn waits for the next message, so the window's own
// messages (paint, input) are never starved by a chain of posts.
void Win32Executor::run_posted() {
  std::deque<std::function<void()>> now;
  {
    std::lock_guard lock(mutex_);
    now.swap(posted_);
    signalled_ = false;
  }
  for (auto& work : now) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
    }
    work();
  }
}

bool Win32Executor::close() {
  std::unique_lock lock(mutex_);
  closed_ = true;
  posted_.clear();
  const bool all = idle_.wait_for(lock, kCloseWait, [&] {
    return std::all_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.done; });
  });
  if (!all) return false;  // the process ends them; their threads stay owned here until then
  std::list<Worker> finished;
  finished.swap(workers_);
  lock.unlock();
  return true;  // `finished` joins each (already ended) thread as it goes
}

}  // namespace

std::unique_ptr<Executor> make_win32_executor() { return std::make_unique<Win32Executor>(); }

}  // namespace qiwa
