#pragma once
// The application's state. Everything but the download registry and the stop tokens belongs to the
// window's thread: workers get copies of what they need when they start, and hand their results back by
// posting work there.
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

#include "app/lyrics_follow.hpp"
#include "app/main_window.hpp"
#include "app/stores.hpp"
#include "music/service.hpp"
#include "music/song.hpp"
#include "runtime/platform.hpp"

namespace qiwa {

// The song files this run put in place, and the part files still growing. Workers and the window's thread
// share it: placing a song and closing take one lock, so once the window closes no part file begins and no
// song is placed any more.
class DownloadRegistry {
 public:
  // A part file now exists; false once closed (then its maker removes it).
  bool begin(const Text& part);
  // The part file is gone: removed, or placed.
  void end(const Text& part);
  // Runs `move` (the part into place at `path`) unless closed, and on success records `path` as a song
  // of this run. The part ends either way.
  bool place(const Text& part, const Text& path, const std::function<bool()>& move);

  struct Leftovers {
    std::vector<Text> parts;  // still growing: downloads cut short by the closing
    std::vector<Text> songs;  // put in place by this run
  };
  // Hands over both lists and refuses every later begin and place.
  Leftovers close();

 private:
  std::mutex mutex_;
  std::vector<Text> parts_;
  std::vector<Text> songs_;
  bool closed_ = false;
};

// The newest of a kind of work (a search, a play): each new one stops the one before, and once the window
// closes every token is stopped, those handed out later too. Work whose token is stopped is superseded
// and changes nothing the user sees.
class Newest {
 public:
  // A token for new work; the previous one is stopped.
  std::stop_token renew();
  // The token of the work now newest (a next page joins the search it belongs to).
  std::stop_token current();
  void stop_all();

 private:
  std::mutex mutex_;
  std::stop_source source_;
  bool closed_ = false;
};

struct AppContext {
  AppContext(MainWindow& w, const Platform& p, Stores& s, Text host)
      : window(w), platform(p), executor(p.executor), stores(s), service{std::move(host), p.requests},
        libraries(p.libraries), run_directory(p.files.run_directory()), lyrics(w, p.player, p.clock) {}

  MainWindow& window;
  const Platform platform;
  Executor& executor;
  Stores& stores;  // the settings and the library
  ServiceClient service;  // workers take a copy when they start
  LibraryBindings libraries;
  const Text run_directory;
  Text skin_library_path;  // the file the skin was bound from at start

  // The window's thread's own.
  std::vector<SongRow> rows;  // what the results show, in order
  int current_page = 0;
  Text current_source;        // the last search's catalogue, searched again when none is chosen
  bool paused = false;        // the pause button offers to continue
  unsigned plays_started = 0;  // tells the part files of two plays apart
  bool player_prepared = false;
  bool store_writing = false;  // a worker writes the stores now
  Text keys_note;              // which global keys another program holds, for the settings to say
  LyricsFollower lyrics;

  // Shared with the workers.
  Newest searches;
  Newest plays;
  DownloadRegistry downloads;
};

}  // namespace qiwa
