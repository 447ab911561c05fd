#pragma once
// State shared by the window's thread and the worker threads. Held by shared_ptr so a worker that
// outlives the window still finds it.
#include <atomic>
#include <memory>
#include <mutex>

#include "runtime/download.hpp"
#include "runtime/player.hpp"
#include "runtime/window.hpp"

namespace qiwa {

// Song files this run wrote; the exit clean-up deletes only these.
class DownloadRegistry {
 public:
  // False once the clean-up has taken the list: the caller then removes the file itself.
  bool add(const Text& path);
  // Hands over every registered path and refuses later ones.
  std::vector<Text> close();

 private:
  std::mutex mutex_;
  std::vector<Text> paths_;
  bool closed_ = false;
};

class LockedText {
 public:
  Text get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void set(Text value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex mutex_;
  Text value_;
};

struct AppContext {
  AppContext(MainWindow& w, Player& p, Downloader& d, Text dir)
      : window(w), player(p), downloader(d), run_directory(std::move(dir)) {}

  MainWindow& window;
  Player& player;
  Downloader& downloader;
  const Text run_directory;
  Text service_host = QIWA_SERVICE_HOST;

  std::atomic<int> current_page{0};
  LockedText current_source;
  // A newer search or play supersedes every older one still running.
  std::atomic<unsigned> search_generation{0};
  std::atomic<unsigned> play_generation{0};
  DownloadRegistry downloads;
  std::atomic<bool> closing{false};
  // Song downloads still writing their file; the process waits a little for them at exit.
  std::atomic<int> downloads_running{0};
};

}  // namespace qiwa
