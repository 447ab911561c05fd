#pragma once
// The application's state. Everything but the download registry and the stop tokens belongs to the
// window's thread: workers get copies of what they need when they start, and hand their results back by
// posting work there.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "app/desktop_lyrics.hpp"
#include "app/lyrics_follow.hpp"
#include "app/main_window.hpp"
#include "app/queue.hpp"
#include "app/stores.hpp"
#include "music/service.hpp"
#include "music/song.hpp"
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

struct BatchDownloads;  // app/batch_download.cpp

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
  std::uint64_t sounding_song = 0;  // the player's id of the song last started; 0: none
  std::uint64_t unopened_song = 0;  // the last song the player told it could not open
  bool store_writing = false;  // a worker writes the stores now
  Text keys_note;              // which global keys another program holds, for the settings to say
  LyricsFollower lyrics;
  // The queue: the list a song was played from, as it was then, walked by the play mode.
  Queue queue;
  std::vector<SongRow> queue_rows;
  int queue_failures = 0;          // rows the queue reached by itself that failed, one after another
  std::uint64_t playing_id = 0;    // the player's id of the song now current; 0: none
  std::uint64_t ahead_id = 0;      // the song set to follow it without a gap; 0: none
  bool current_whole = false;      // the current song's file is whole: the next one may be fetched
  Text current_path;               // its file
  std::function<void()> on_ahead;  // shows the song set to follow, once it took over
  bool queue_in_view = false;      // the results show the queue's list
  bool listening_ended = false;    // the window closed: the player's events are no one's
  ListKind shown_list = ListKind::search;  // what the results show
  std::vector<SongRow> search_rows;        // the search's rows while another list shows
  std::unique_ptr<DesktopLyricsFollower> desktop;  // once the desktop lyrics were first turned on
  LibrarySong desktop_song;                        // the song the lyrics show, for its nudge
  Lyrics song_lyrics, song_translation;            // its lines, for the desktop turned on in the middle of it
  std::int64_t lyrics_nudge_ms = 0;                // its lines moved this much sooner, in the box and on the desktop
  std::shared_ptr<BatchDownloads> batch;           // "下载选中": once it was first used
  MediaOverlay* overlay = nullptr;                 // the system's media overlay, once a song showed there
  bool overlay_asked = false;                      // the window was asked for it (once)

  // Shared with the workers.
  Newest searches;
  Newest plays;
  Newest batches;  // "下载选中"'s downloads: one token for all, stopped at exit
  Newest levels;   // the songs' loudness measures: one token for all, stopped at exit
  DownloadRegistry downloads;
};

}  // namespace qiwa
