#pragma once
// What the library keeps, as compact as a list of ten thousand songs needs: each entry's texts in one
// shared block, the lists as sorted vectors.
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "music/song.hpp"

namespace qiwa {

// A song as the library keeps it: the catalogue it comes from, its ids and cells, and its file.
struct LibrarySong {
  Text source;  // the catalogue's source name ("kugou"); empty for a file of the user's own
  SongRow row;
  Text path;    // the song's file, for a local song
  bool operator==(const LibrarySong&) const = default;
};

// The texts of one entry in one allocation, shared by the lists and their snapshots and never changed.
class SongText {
 public:
  enum Field { source, url_id, pic_id, lyric_id, title, singer, album, path, extra, kFieldCount };
  // `extra`: the fields a newer version wrote after these, kept as they were (escaped, tab-separated).
  static constexpr std::size_t kMaxField = 0xFFFF;

  SongText() = default;
  // None (an empty SongText) when a field is longer than kMaxField.
  static std::optional<SongText> make(std::span<const std::string_view, kFieldCount> fields);
  static std::optional<SongText> make(const LibrarySong& song, std::string_view extra = {});
  SongText(const SongText& other) noexcept;
  SongText(SongText&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  SongText& operator=(SongText other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~SongText();

  explicit operator bool() const { return block_ != nullptr; }
  std::string_view operator[](Field f) const;
  LibrarySong song() const;
  // Bytes of its block, for the memory figures.
  std::size_t block_size() const;

 private:
  struct Header {
    std::atomic<std::uint32_t> refs;
    std::uint16_t size[kFieldCount];
  };
  Header* block_ = nullptr;
};

// Which song an entry is: its catalogue and url id, or its file when it has no id (a user's own song).
// Paths compare as Windows compares them: ASCII letters without case.
struct SongKey {
  std::string_view source, url_id, path;
  static SongKey identity(const SongText& s);
  static SongKey identity(const LibrarySong& s);
  static SongKey file(std::string_view path) { return {{}, {}, path}; }
};
int compare_keys(const SongKey& a, const SongKey& b);

// One entry of a list. A removed one stays a while, so that a merge with another copy's file does not
// bring it back.
struct LibraryEntry {
  SongText song;
  std::int64_t time = 0;   // added, played, downloaded or removed (ms since 1970): the newer change wins
  std::int32_t value = 0;  // the nudge's milliseconds; for a removed local song, kGone or kRemoved
  bool removed = false;
};
inline constexpr std::int32_t kRemoved = 0, kGone = 1;  // taken off the list by the user; its file went

enum class LibraryList { favourites, history, local, nudges };
inline constexpr std::size_t kLibraryLists = 4;

// The last search as the window showed it.
struct LastSearch {
  std::int64_t time = 0;
  int page = 0;
  Text source, words;
  std::vector<SongText> rows;
};

struct LibraryData {
  std::vector<LibraryEntry> lists[kLibraryLists];  // each sorted by key, one entry per key (normalize)
  LastSearch search;
  std::vector<Text> unknown_lines;  // lines of kinds a newer version wrote, kept as they were

  std::vector<LibraryEntry>& list(LibraryList l) { return lists[static_cast<std::size_t>(l)]; }
  const std::vector<LibraryEntry>& list(LibraryList l) const { return lists[static_cast<std::size_t>(l)]; }
};

// The key an entry of list `l` is found by: the file for local songs, the song's identity elsewhere.
SongKey entry_key(LibraryList l, const SongText& song);
// Sorts a list by key and keeps one entry per key: the newer change, a removal on a tie.
void normalize(LibraryList l, std::vector<LibraryEntry>& entries);
// Takes in another copy's data: per entry the newer change wins; the newer search wins.
void merge_into(LibraryData& into, LibraryData&& other);

}  // namespace qiwa
