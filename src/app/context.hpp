#pragma once
// State shared by the window's thread and the worker threads. Held by shared_ptr so a worker that
// outlives the window still finds it.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

#include "app/lyrics_follow.hpp"
#include "app/main_window.hpp"
#include "music/service.hpp"
#include "runtime/platform.hpp"

namespace qiwa {

// The song files this run put in place, and its part files still growing. Making a part file, placing a
// song and closing take one lock, so once the window closes no part file is made and no song is placed
// any more, and every part file made before is in the list the closing removes.
class DownloadRegistry {
 public:
  // Unless closed, runs `make` (which makes a part file and gives its path, or nothing when it could not)
  // and records the part file; false once closed, when nothing may be made.
  bool begin(const std::function<std::optional<Text>()>& make);
  // The part file is gone: removed, or placed.
  void end(const Text& part);
  // Unless closed, runs `move` (the part file into place; the song's path, or empty when it failed) and
  // records the song as one of this run. The part ends either way; true when the song was placed.
  bool place(const Text& part, const std::function<Text()>& move);

  struct Leftovers {
    std::vector<Text> parts;  // still growing: downloads cut short by the closing
    std::vector<Text> songs;  // put in place by this run
  };
  // Hands over both lists (empty ones after the first closing) and refuses every later begin and place.
  Leftovers close();

 private:
  std::mutex mutex_;
  std::vector<Text> parts_;
  std::vector<Text> songs_;
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

// The newest of a kind of work (a search, a play): each new one stops the one before, and once the window
// closes every token is stopped, those handed out later too. A worker whose token is stopped is superseded
// and changes nothing the user sees.
class Newest {
 public:
  // A token for new work; the previous one is stopped.
  std::stop_token renew();
  // The token of the work now newest (a next page joins the search it belongs to).
  std::stop_token current();
  // Runs fn unless the token is stopped, under the lock renew takes: no newer work begins between the
  // check and fn.
  void run_if_current(const std::stop_token& token, const std::function<void()>& fn);
  void stop_all();

 private:
  std::mutex mutex_;
  std::stop_source source_;
  bool closed_ = false;
};

struct AppContext {
  AppContext(MainWindow& w, const Platform& p, Text host = QIWA_SERVICE_HOST)
      : window(w), platform(p), service{std::move(host), p.requests}, libraries(p.libraries),
        run_directory(p.files.run_directory()), lyrics(w, p.player, p.clock) {}

  MainWindow& window;
  const Platform platform;
  const ServiceClient service;
  LibraryBindings libraries;
  const Text run_directory;
  LockedText skin_library_path;  // the file the skin was bound from at start

  std::atomic<int> current_page{0};
  LockedText current_source;      // of the newest search
  std::vector<Text> row_sources;  // window's thread only: the catalogue of each row of 超级列表框1
  Newest searches;
  Newest plays;
  std::atomic<unsigned> plays_started{0};  // tells the part files of two plays apart
  std::atomic<bool> player_prepared{false};
  DownloadRegistry downloads;
  LyricsFollower lyrics;  // window's thread only
};

}  // namespace qiwa
