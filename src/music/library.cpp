#include "music/library.hpp"

#include <algorithm>

#include "music/library_file.hpp"

namespace qiwa {
namespace {

using Lock = std::lock_guard<std::mutex>;

bool same_folded(std::string_view a, std::string_view b) { return compare_keys(SongKey::file(a), SongKey::file(b)) == 0; }

std::string_view folder_of(std::string_view path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

bool is_mp3_name(std::string_view name) {
  return name.size() > 4 && same_folded(name.substr(name.size() - 4), ".mp3");
}

// A file of the user's own: its name is all that is known of it until its tags are read.
LibraryEntry user_file(std::string_view folder, std::string_view name, std::int64_t time) {
  LibrarySong song;
  song.row.title = Text(name.substr(0, name.size() - 4));
  song.path = Text(folder) + "\\" + Text(name);
  return {SongText::make(song).value_or(SongText()), time, 0, false};
}

}  // namespace

std::string_view SongList::cell(std::size_t row, Cell cell) const {
  return entries_[row].song[static_cast<SongText::Field>(static_cast<int>(cell) + SongText::url_id)];
}

Library::Library(Files& files, Clock& clock, Text path)
    : Store(files, clock, std::move(path), kMaxLibraryFileBytes, "曲库") {}

void Library::touched() {
  ++revision_;
  changed();
}

const LibraryEntry* Library::find(LibraryList which, const SongKey& key) const {
  const Entries& list = data_.list(which);
  auto it = std::lower_bound(list.begin(), list.end(), key, [which](const LibraryEntry& e, const SongKey& k) {
    return compare_keys(entry_key(which, e.song), k) < 0;
  });
  return it != list.end() && compare_keys(entry_key(which, it->song), key) == 0 ? &*it : nullptr;
}

bool Library::put(LibraryList which, LibraryEntry entry) {
  if (!entry.song) return false;
  Entries& list = data_.list(which);
  const SongKey key = entry_key(which, entry.song);
  if (const LibraryEntry* found = find(which, key)) {
    LibraryEntry& old = list[found - list.data()];
    entry.time = std::max(entry.time, old.time + 1);  // a clock set back must not lose this change
    old = std::move(entry);
  } else {
    auto at = std::lower_bound(list.begin(), list.end(), key, [which](const LibraryEntry& e, const SongKey& k) {
      return compare_keys(entry_key(which, e.song), k) < 0;
    });
    list.insert(at, std::move(entry));
  }
  touched();
  return true;
}

bool Library::take_off(LibraryList which, const SongKey& key, std::int32_t why, std::int64_t now) {
  const LibraryEntry* found = find(which, key);
  if (!found || found->removed) return false;
  return put(which, {found->song, now, why, true});
}

std::size_t Library::set_favourite(std::span<const LibrarySong> songs, bool on) {
  Lock lock(mutex_);
  const std::int64_t now = clock_.wall_ms();
  std::size_t n = 0;
  for (const LibrarySong& song : songs) {
    const LibraryEntry* found = find(LibraryList::favourites, SongKey::identity(song));
    if (on && (!found || found->removed))
      n += put(LibraryList::favourites, {SongText::make(song).value_or(SongText()), now, 0, false});
    else if (!on)
      n += take_off(LibraryList::favourites, SongKey::identity(song), kRemoved, now);
  }
  return n;
}

bool Library::is_favourite(const SongKey& key) const {
  Lock lock(mutex_);
  const LibraryEntry* found = find(LibraryList::favourites, key);
  return found && !found->removed;
}

void Library::played(const LibrarySong& song) {
  Lock lock(mutex_);
  if (put(LibraryList::history, {SongText::make(song).value_or(SongText()), clock_.wall_ms(), 0, false}))
    trim_history();
}

void Library::downloaded(const LibrarySong& song) {
  if (song.path.empty()) return;
  Lock lock(mutex_);
  put(LibraryList::local, {SongText::make(song).value_or(SongText()), clock_.wall_ms(), 0, false});
}

void Library::refresh_local(std::string_view folder) {
  std::vector<Text> elsewhere;  // kept files outside the folder: looked at one by one
  std::int64_t looked;          // an entry changed since was not looked for
  {
    Lock lock(mutex_);
    looked = clock_.wall_ms();
    for (const LibraryEntry& e : data_.list(LibraryList::local))
      if ((!e.removed || e.value == kGone) && !same_folded(folder_of(e.song[SongText::path]), folder))
        elsewhere.emplace_back(e.song[SongText::path]);
  }
  std::vector<FileInfo> listed = files_.list_files(folder);
  std::erase_if(listed, [](const FileInfo& f) { return !is_mp3_name(f.name); });
  std::vector<Text> present;
  for (Text& path : elsewhere)
    if (files_.file_info(path)) present.push_back(std::move(path));
  for (const FileInfo& f : listed) present.push_back(Text(folder) + "\\" + f.name);
  std::sort(present.begin(), present.end(), [](const Text& a, const Text& b) {
    return compare_keys(SongKey::file(a), SongKey::file(b)) < 0;
  });
  auto is_present = [&present](std::string_view path) {
    return std::binary_search(present.begin(), present.end(), path, [](std::string_view a, std::string_view b) {
      return compare_keys(SongKey::file(a), SongKey::file(b)) < 0;
    });
  };

  Lock lock(mutex_);
  const std::int64_t now = clock_.wall_ms();
  std::vector<LibraryEntry> changes;
  for (const LibraryEntry& e : data_.list(LibraryList::local)) {
    const bool here = is_present(e.song[SongText::path]);
    if (!e.removed && !here && e.time < looked) changes.push_back({e.song, now, kGone, true});
    if (e.removed && e.value == kGone && here) changes.push_back({e.song, now, 0, false});
  }
  for (const FileInfo& f : listed) {
    const LibraryEntry* found = find(LibraryList::local, SongKey::file(Text(folder) + "\\" + f.name));
    if (!found || (found->removed && found->value == kRemoved && f.modified_ms > found->time))
      changes.push_back(user_file(folder, f.name, found ? std::max(f.modified_ms, found->time + 1) : f.modified_ms));
  }
  for (LibraryEntry& change : changes) put(LibraryList::local, std::move(change));
}

std::optional<Text> Library::local_file(const LibrarySong& song) const {
  const SongKey key = SongKey::identity(song);
  Lock lock(mutex_);
  for (const LibraryEntry& e : data_.list(LibraryList::local))
    if (!e.removed && compare_keys(SongKey::identity(e.song), key) == 0) return Text(e.song[SongText::path]);
  return std::nullopt;
}

SongList Library::list(LibraryList which) const {
  SongList out;
  {
    Lock lock(mutex_);
    const Entries& list = data_.list(which);
    out.entries_.reserve(list.size());
    for (const LibraryEntry& e : list)
      if (!e.removed) out.entries_.push_back(e);
  }
  std::stable_sort(out.entries_.begin(), out.entries_.end(),
                   [](const LibraryEntry& a, const LibraryEntry& b) { return a.time > b.time; });
  return out;
}

std::size_t Library::count(LibraryList which) const {
  Lock lock(mutex_);
  const Entries& list = data_.list(which);
  return std::count_if(list.begin(), list.end(), [](const LibraryEntry& e) { return !e.removed; });
}

std::size_t Library::remove(LibraryList which, std::span<const LibrarySong> songs) {
  Lock lock(mutex_);
  const std::int64_t now = clock_.wall_ms();
  std::size_t n = 0;
  for (const LibrarySong& song : songs)
    n += take_off(which, which == LibraryList::local ? SongKey::file(song.path) : SongKey::identity(song), kRemoved, now);
  return n;
}

int Library::nudge_ms(const LibrarySong& song) const {
  Lock lock(mutex_);
  const LibraryEntry* found = find(LibraryList::nudges, SongKey::identity(song));
  return found && !found->removed ? found->value : 0;
}

void Library::set_nudge_ms(const LibrarySong& song, int ms) {
  ms = std::clamp(ms, -kMaxNudgeMs, kMaxNudgeMs);
  Lock lock(mutex_);
  const LibraryEntry* found = find(LibraryList::nudges, SongKey::identity(song));
  if ((found && !found->removed ? found->value : 0) == ms) return;
  LibrarySong bare{song.source, song.row, {}};  // the nudge belongs to the song, not to a file of it
  put(LibraryList::nudges, {SongText::make(bare).value_or(SongText()), clock_.wall_ms(), ms, ms == 0});
}

void Library::set_last_search(std::string_view source, std::string_view words, int page,
                              std::span<const SongRow> rows) {
  LastSearch search{0, page, Text(source), Text(words), {}};
  for (const SongRow& row : rows.first(std::min(rows.size(), kMaxSearchRows)))
    if (std::optional<SongText> song = SongText::make(LibrarySong{Text(source), row, {}}))
      search.rows.push_back(std::move(*song));
  Lock lock(mutex_);
  search.time = std::max(clock_.wall_ms(), data_.search.time + 1);
  data_.search = std::move(search);
  changed();
}

SearchSnapshot Library::last_search() const {
  Lock lock(mutex_);
  SearchSnapshot out{data_.search.source, data_.search.words, data_.search.page, {}};
  for (const SongText& song : data_.search.rows) out.rows.push_back(song.song().row);
  return out;
}

void Library::forget_old(std::int64_t now) {
  for (Entries& list : data_.lists)
    std::erase_if(list, [now](const LibraryEntry& e) { return e.removed && now - e.time > kRemovalKeptMs; });
  trim_history();
}

void Library::trim_history() {
  Entries& history = data_.list(LibraryList::history);
  std::vector<const LibraryEntry*> live;
  for (const LibraryEntry& e : history)
    if (!e.removed) live.push_back(&e);
  if (live.size() <= kHistoryLimit) return;
  std::nth_element(live.begin(), live.begin() + kHistoryLimit, live.end(),
                   [](const LibraryEntry* a, const LibraryEntry* b) { return a->time > b->time; });
  std::sort(live.begin() + kHistoryLimit, live.end());
  // remove_if tests each entry where it stood before any was moved
  std::erase_if(history, [&](const LibraryEntry& e) {
    return std::binary_search(live.begin() + kHistoryLimit, live.end(), &e);
  });
}

StoreRead Library::absorb(std::string_view bytes) {
  LibraryFileRead read = read_library_file(bytes);
  Lock lock(mutex_);
  merge_into(data_, std::move(read.data));
  forget_old(clock_.wall_ms());
  for (Entries& list : data_.lists) list.shrink_to_fit();
  ++revision_;
  return read.state;
}

Text Library::encode() {
  LibraryData snapshot;
  {
    Lock lock(mutex_);
    forget_old(clock_.wall_ms());
    take_changes();
    snapshot = data_;
  }
  return write_library_file(snapshot);
}

}  // namespace qiwa
