#pragma once
// A kept song's whole tag waits for two things: its file whole on disk under its name, and the ends of
// its cover and lyrics fetches. Whichever comes last starts the retag on a low-priority worker (never on
// the window's thread; the song is copied piece by piece, never held), which first measures the song's
// loudness when its tag lacks it, and the ".lrc" beside it when the settings ask.
// Shared by a play's workers and the window's thread.
#include <mutex>
#include <optional>
#include <stop_token>

#include "music/kept_tag.hpp"
#include "runtime/platform.hpp"

namespace qiwa {

class SongKeeping {
 public:
  // `stop`: raised at exit, when a measure part way ends and the song keeps the tag it has.
  SongKeeping(Track track, bool save_lrc, std::stop_token stop)
      : track_(std::move(track)), save_lrc_(save_lrc), stop_(std::move(stop)) {}
  // True for the first caller only: one fetch of cover and lyrics serves the tag.
  bool begin_fetch();
  // What that fetch gave, once it ended; nothing before.
  std::optional<SongExtras> extras() const;
  void fetched(const Platform& platform, SongExtras extras);
  // The song is whole at `path` (its name for good).
  void whole(const Platform& platform, Text path);

 private:
  void start_when_ready(const Platform& platform, std::unique_lock<std::mutex> lock);

  const Track track_;
  const bool save_lrc_;
  const std::stop_token stop_;
  mutable std::mutex mutex_;
  bool fetching_ = false, started_ = false;
  std::optional<SongExtras> extras_;
  Text path_;
};

// The worker's job: the tag rewritten if the file is the program's and lacks it (with the replay gain
// `measure` gives when it lacks that), then the ".lrc" (only beside a file of the program's).
void keep_song_tag(Files& files, const Text& path, const Track& track, const SongExtras& extras, bool save_lrc,
                   const GainMeasure& measure = {}, const std::stop_token& stop = {});

}  // namespace qiwa
