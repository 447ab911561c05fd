#pragma once
// The user's library: favourites, the songs played (the last 500, newest first, one entry a song),
// the songs on disk (downloads and the user's own MP3 files of the download folder), and each song's
// lyrics timing nudge; with the last search's words and rows. Kept in one file (library_file.hpp),
// written at most once a second off the path of a click (Store). Every call is safe from any thread.
#include <mutex>

#include "music/library_data.hpp"
#include "runtime/store.hpp"

namespace qiwa {

inline constexpr std::size_t kHistoryLimit = 500;
inline constexpr std::int64_t kRemovalKeptMs = 30LL * 24 * 3600 * 1000;  // for merging with another copy
inline constexpr std::int32_t kMaxNudgeMs = 600'000;
inline constexpr std::size_t kMaxLibraryFileBytes = 64u << 20;

// One list as it stood when asked for, in the order the window shows it (newest first); it does not
// change when the library does, so a virtual list view can read its rows at any time.
class SongList {
 public:
  std::size_t size() const { return entries_.size(); }
  std::string_view cell(std::size_t row, Cell cell) const;
  LibrarySong song(std::size_t row) const { return entries_[row].song.song(); }
  std::int64_t time(std::size_t row) const { return entries_[row].time; }

 private:
  friend class Library;
  std::vector<LibraryEntry> entries_;
};

struct SearchSnapshot {
  Text source, words;
  int page = 0;
  std::vector<SongRow> rows;
};

class Library final : public Store {
 public:
  static constexpr std::string_view kFileName = "QiwaMusic.library.txt";
  // The library of the file at `path` (see store_directory); load() reads it.
  Library(Files& files, Clock& clock, Text path);

  // Adds (on) or removes the songs; returns how many changed.
  std::size_t set_favourite(std::span<const LibrarySong> songs, bool on);
  bool is_favourite(const SongKey& key) const;
  bool is_favourite(const LibrarySong& song) const { return is_favourite(SongKey::identity(song)); }

  // The song began to play: first in the history, once.
  void played(const LibrarySong& song);

  // A song put on disk (its path set): first in the local songs; again with its tags to update them.
  void downloaded(const LibrarySong& song);
  // Looks at the disk (call it off the window's thread): a local song whose file went leaves the list,
  // one whose file came back returns, and each MP3 file in `folder` the list lacks joins it (unless
  // the user took it off the list and it has not changed since).
  void refresh_local(std::string_view folder);
  // The file of a local song that is this song, when there is one.
  std::optional<Text> local_file(const LibrarySong& song) const;

  SongList list(LibraryList which) const;
  std::size_t count(LibraryList which) const;
  // "从列表删除": takes the songs off the list (a local song's file stays). Returns how many went.
  std::size_t remove(LibraryList which, std::span<const LibrarySong> songs);

  // The lyrics timing nudge of a song, in ms (positive: the lines come later).
  int nudge_ms(const LibrarySong& song) const;
  void set_nudge_ms(const LibrarySong& song, int ms);

  void set_last_search(std::string_view source, std::string_view words, int page, std::span<const SongRow> rows);
  SearchSnapshot last_search() const;

  // Grows at every change of what the lists hold, also one merged from another copy of the program.
  std::uint64_t revision() const { return revision_; }

 protected:
  StoreRead absorb(std::string_view bytes) override;
  Text encode() override;

 private:
  using Entries = std::vector<LibraryEntry>;
  // Puts the entry in the list, replacing one of its key; its time is made later than the one it replaces.
  bool put(LibraryList which, LibraryEntry entry);
  bool take_off(LibraryList which, const SongKey& key, std::int32_t why, std::int64_t now);
  const LibraryEntry* find(LibraryList which, const SongKey& key) const;
  // Drops removals kept long enough, and the history past its newest kHistoryLimit songs.
  void forget_old(std::int64_t now);
  void trim_history();
  void touched();

  mutable std::mutex mutex_;
  LibraryData data_;
  std::atomic<std::uint64_t> revision_{0};
};

}  // namespace qiwa
