#include "music/library_file.hpp"

#include <algorithm>
#include <charconv>

#include "runtime/utf.hpp"
#include "text/fields.hpp"

namespace qiwa {
namespace {

constexpr std::string_view kHeader = "QiwaMusic library ";
constexpr std::string_view kKinds[kLibraryLists] = {"favourite", "history", "local", "nudge"};
constexpr std::size_t kSongFields = 8, kEntryFields = 3 + kSongFields + 1;

template <class N>
std::optional<N> number(std::string_view s) {
  N value{};
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || s.empty() || s[0] == '+') return std::nullopt;
  return value;
}

bool is_kind(std::string_view s) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  if (s.empty() || s.size() > 40 || !(s[0] >= 'a' && s[0] <= 'z')) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= 'a' && c <= 'z') || c == '-' || c == '_'; });
}

// The song of fields[3..10] and the newer version's fields after them.
std::optional<SongText> song_of(const std::vector<std::string_view>& fields) {
  Text values[kSongFields];
  std::string_view views[SongText::kFieldCount];
  for (std::size_t i = 0; i < kSongFields; ++i) {
    if (!append_unescaped(values[i], fields[3 + i])) return std::nullopt;
    views[i] = values[i];
  }
  views[SongText::extra] = fields.size() > 3 + kSongFields ? fields.back() : std::string_view();
  for (char c : views[SongText::extra])
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return std::nullopt;  // kept as it is: no stray line break
  return SongText::make(views);
}

class Reader {
 public:
  bool line(std::string_view text);  // false when the line is damaged
  LibraryFileRead result;
  bool ended = false;
  std::size_t entries = 0;

 private:
  bool search_line(const std::vector<std::string_view>& fields, std::int64_t time, std::int32_t value);
};

bool Reader::line(std::string_view text) {
  if (!is_valid_utf8(text)) return false;
  const std::vector<std::string_view> fields = split_fields(text, kEntryFields);
  std::string_view kind = fields[0];
  if (kind == "end") {
    ended = true;
    return fields.size() == 2 && number<std::size_t>(fields[1]) == entries;
  }
  ++entries;
  const bool removed = !kind.empty() && kind[0] == '-';
  if (removed) kind.remove_prefix(1);
  const auto list = std::find(std::begin(kKinds), std::end(kKinds), kind) - std::begin(kKinds);
  const bool search = !removed && (kind == "search" || kind == "row");
  if (list == kLibraryLists && !search) {
    if (!is_kind(fields[0])) return false;
    result.data.unknown_lines.emplace_back(text);  // a newer version's: kept as it was
    return true;
  }
  if (fields.size() < 3) return false;
  const std::optional<std::int64_t> time = number<std::int64_t>(fields[1]);
  const std::optional<std::int32_t> value = number<std::int32_t>(fields[2]);
  if (!time || !value) return false;
  if (search) return search_line(fields, *time, *value);
  if (fields.size() < 3 + kSongFields) return false;
  std::optional<SongText> song = song_of(fields);
  if (!song) return false;
  result.data.lists[list].push_back({std::move(*song), *time, *value, removed});
  return true;
}

bool Reader::search_line(const std::vector<std::string_view>& fields, std::int64_t time, std::int32_t value) {
  LastSearch& s = result.data.search;
  if (fields[0] == "search") {
    if (fields.size() < 5) return false;
    std::optional<Text> source = unescaped(fields[3]), words = unescaped(fields[4]);
    if (!source || !words) return false;
    s = {time, value, std::move(*source), std::move(*words), {}};
    return true;
  }
  if (fields.size() < 3 + kSongFields || time != s.time) return false;  // a row belongs to the search before it
  std::optional<SongText> song = song_of(fields);
  if (!song) return false;
  if (s.rows.size() < kMaxSearchRows) s.rows.push_back(std::move(*song));
  return true;
}

void append_number(Text& out, long long n) {
  char buffer[24];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, n);
  out.append(buffer, end);
}

void append_entry(Text& out, std::string_view kind, std::int64_t time, std::int32_t value, const SongText& song) {
  out += kind;
  out += '\t';
  append_number(out, time);
  out += '\t';
  append_number(out, value);
  for (int f = SongText::source; f <= SongText::path; ++f) {
    out += '\t';
    append_escaped(out, song[static_cast<SongText::Field>(f)]);
  }
  if (!song[SongText::extra].empty()) out.append("\t").append(song[SongText::extra]);
  out += '\n';
}

}  // namespace

LibraryFileRead read_library_file(std::string_view bytes) {
  Reader reader;
  bool& damaged = reader.result.state.damaged;
  LineReader lines(bytes);
  std::string_view line;
  bool closed = true;
  if (!lines.next(line, closed) || line.substr(0, kHeader.size()) != kHeader) {
    damaged = true;  // another program's file, or garbage: its lines are still tried
    if (!line.empty() && line[0] != '#') reader.line(line);
  } else {
    const std::optional<int> version = number<int>(line.substr(kHeader.size()));
    damaged = !version || *version < 1;
    reader.result.state.newer = version && *version > kLibraryFormat;
  }
  while (lines.next(line, closed)) {
    if (line.empty() || line[0] == '#') continue;
    if (reader.ended || !reader.line(line)) damaged = true;
  }
  if (!closed || !reader.ended) damaged = true;  // cut short
  if (damaged) reader.result.data.unknown_lines.clear();  // only a sound file's unknown lines are a newer version's
  for (std::size_t i = 0; i < kLibraryLists; ++i) normalize(static_cast<LibraryList>(i), reader.result.data.lists[i]);
  return std::move(reader.result);
}

Text write_library_file(const LibraryData& data) {
  Text out;
  std::size_t entries = 0;
  for (const auto& list : data.lists) entries += list.size();
  out.reserve(entries * 200 + 256);
  out.append(kHeader).append(std::to_string(kLibraryFormat)).append("\n");
  out += "# kind, time (ms since 1970 UTC), value, catalogue, url id, picture id, lyric id, title, singer, album, file\n";
  out += "# One entry a line, tab-separated, \\-escaped; \"-kind\" is taken off its list, kept a while for merging.\n";
  std::size_t lines = 0;
  if (data.search.time != 0) {
    out.append("search\t");
    append_number(out, data.search.time);
    out += '\t';
    append_number(out, data.search.page);
    out.append("\t").append(escaped(data.search.source)).append("\t").append(escaped(data.search.words)).append("\n");
    for (const SongText& row : data.search.rows) append_entry(out, "row", data.search.time, 0, row);
    lines += 1 + data.search.rows.size();
  }
  std::vector<const LibraryEntry*> order;
  for (std::size_t i = 0; i < kLibraryLists; ++i) {
    order.clear();
    for (const LibraryEntry& e : data.lists[i]) order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](auto* a, auto* b) { return a->time > b->time; });
    const Text kind(kKinds[i]), removed = "-" + kind;
    for (const LibraryEntry* e : order) append_entry(out, e->removed ? removed : kind, e->time, e->value, e->song);
    lines += order.size();
  }
  for (const Text& line : data.unknown_lines) out.append(line).append("\n");
  lines += data.unknown_lines.size();
  out.append("end\t").append(std::to_string(lines)).append("\n");
  return out;
}

}  // namespace qiwa
