#include "music/library_data.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <unordered_set>

namespace qiwa {
namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int compare_folded(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(fold(a[i])), y = static_cast<unsigned char>(fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

// The newer change first; a removal before an addition of the same time.
bool wins(const LibraryEntry& a, const LibraryEntry& b) {
  return a.time != b.time ? a.time > b.time : (a.removed && !b.removed);
}

}  // namespace

std::optional<SongText> SongText::make(std::span<const std::string_view, kFieldCount> fields) {
  std::size_t total = sizeof(Header);
  for (std::string_view f : fields) {
    if (f.size() > kMaxField) return std::nullopt;
    total += f.size();
  }
  SongText out;
  out.block_ = new (::operator new(total)) Header{};
  out.block_->refs.store(1, std::memory_order_relaxed);
  char* text = reinterpret_cast<char*>(out.block_ + 1);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    out.block_->size[i] = static_cast<std::uint16_t>(fields[i].size());
    if (!fields[i].empty()) std::memcpy(text, fields[i].data(), fields[i].size());
    text += fields[i].size();
  }
  return out;
}

std::optional<SongText> SongText::make(const LibrarySong& s, std::string_view extra) {
  const std::string_view fields[kFieldCount] = {s.source,   s.row.url_id, s.row.pic_id, s.row.lyric_id, s.row.title,
                                                s.row.singer, s.row.album, s.path,        extra};
  return make(fields);
}

SongText::SongText(const SongText& other) noexcept : block_(other.block_) {
  if (block_) block_->refs.fetch_add(1, std::memory_order_relaxed);
}

SongText::~SongText() {
  if (block_ && block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    block_->~Header();
    ::operator delete(block_);
  }
}

std::string_view SongText::operator[](Field f) const {
  if (!block_) return {};
  const char* text = reinterpret_cast<const char*>(block_ + 1);
  for (int i = 0; i < f; ++i) text += block_->size[i];
  return {text, block_->size[f]};
}

LibrarySong SongText::song() const {
  const SongText& t = *this;
  return {Text(t[source]),
          {Text(t[url_id]), Text(t[pic_id]), Text(t[lyric_id]), Text(t[title]), Text(t[singer]), Text(t[album])},
          Text(t[path])};
}

std::size_t SongText::block_size() const {
  if (!block_) return 0;
  std::size_t total = sizeof(Header);
  for (std::uint16_t n : block_->size) total += n;
  return total;
}

SongKey SongKey::identity(const SongText& s) {
  if (s[SongText::url_id].empty()) return file(s[SongText::path]);
  return {s[SongText::source], s[SongText::url_id], {}};
}

SongKey SongKey::identity(const LibrarySong& s) {
  if (s.row.url_id.empty()) return file(s.path);
  return {s.source, s.row.url_id, {}};
}

int compare_keys(const SongKey& a, const SongKey& b) {
  if (int c = a.source.compare(b.source)) return sign(c);
  if (int c = a.url_id.compare(b.url_id)) return sign(c);
  return compare_folded(a.path, b.path);
}

SongKey entry_key(LibraryList l, const SongText& song) {
  return l == LibraryList::local ? SongKey::file(song[SongText::path]) : SongKey::identity(song);
}

void normalize(LibraryList l, std::vector<LibraryEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [l](const LibraryEntry& a, const LibraryEntry& b) {
    const int c = compare_keys(entry_key(l, a.song), entry_key(l, b.song));
    return c != 0 ? c < 0 : wins(a, b);
  });
  auto same = [l](const LibraryEntry& a, const LibraryEntry& b) {
    return compare_keys(entry_key(l, a.song), entry_key(l, b.song)) == 0;
  };
  entries.erase(std::unique(entries.begin(), entries.end(), same), entries.end());
}

void merge_into(LibraryData& into, LibraryData&& other) {
  for (std::size_t i = 0; i < kLibraryLists; ++i) {
    const auto l = static_cast<LibraryList>(i);
    std::vector<LibraryEntry>& mine = into.lists[i];
    if (mine.empty()) {  // a first read: the other's list is already in order
      mine = std::move(other.lists[i]);
      continue;
    }
    mine.reserve(mine.size() + other.lists[i].size());
    std::move(other.lists[i].begin(), other.lists[i].end(), std::back_inserter(mine));
    normalize(l, mine);
  }
  if (other.search.time > into.search.time) into.search = std::move(other.search);
  std::unordered_set<std::string_view> known(into.unknown_lines.begin(), into.unknown_lines.end());
  std::vector<Text> added;
  for (const Text& line : other.unknown_lines)
    if (known.insert(line).second) added.push_back(line);
  std::move(added.begin(), added.end(), std::back_inserter(into.unknown_lines));
}

}  // namespace qiwa
