// The files a play meets under a song's name, whatever they hold: the tag reader stays within any bytes
// and gives well-formed texts, a tag the program writes reads back as written, and a file counts as the
// song saved before only when it carries that song's identity and is whole. Nothing found there is ever
// offered as the free name.
#include <cstdlib>
#include <map>

#include "fuzz/input.hpp"
#include "music/file_name.hpp"
#include "music/track.hpp"
#include "runtime/utf.hpp"

namespace {

using namespace qiwa;

// Files in memory, read only: what the allocation looks at.
class MemoryFiles final : public Files {
 public:
  std::map<Text, Text> files;

  Text run_directory() override { return "C:\\run"; }
  Text system_directory() override { return "C:\\Windows\\system32\\"; }
  bool exact_exists(std::string_view path) override { return files.count(Text(path)) > 0; }
  bool write(std::string_view, const std::vector<Bytes>&) override { std::abort(); }
  bool remove(std::string_view) override { std::abort(); }
  bool move_new(std::string_view, std::string_view) override { std::abort(); }
  bool replace_with(std::string_view, std::string_view) override { std::abort(); }
  std::unique_ptr<OutputFile> create_new(std::string_view) override { std::abort(); }
  unsigned process_id() override { return 1; }
  bool process_running(unsigned) override { std::abort(); }
  std::unique_ptr<InputFile> open_read(std::string_view path) override {
    auto it = files.find(Text(path));
    return it == files.end() ? nullptr : std::make_unique<Reader>(it->second);
  }
  bool replace_file(std::string_view, std::string_view) override { std::abort(); }
  std::optional<Text> read_file(std::string_view, std::size_t) override { std::abort(); }
  std::optional<FileInfo> file_info(std::string_view) override { std::abort(); }
  std::vector<FileInfo> list_files(std::string_view) override { std::abort(); }
  bool folder_writable(std::string_view) override { std::abort(); }
  bool make_directory(std::string_view) override { std::abort(); }
  Text app_data_directory() override { std::abort(); }
  std::unique_ptr<FileLock> try_lock(std::string_view) override { std::abort(); }

 private:
  class Reader final : public InputFile {
   public:
    explicit Reader(const Text& content) : content_(content) {}
    std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
      if (offset >= content_.size()) return 0;
      const std::size_t n = std::min<std::size_t>(size, content_.size() - static_cast<std::size_t>(offset));
      std::copy_n(content_.data() + offset, n, out);
      return n;
    }
    std::uint64_t size() override { return content_.size(); }

   private:
    const Text& content_;
  };
};

void check_texts(const SongTag& tag) {
  if (!is_valid_utf8(tag.title) || !is_valid_utf8(tag.singer) || !is_valid_utf8(tag.album)) std::abort();
  for (const auto& [description, value] : tag.user_texts)
    if (!is_valid_utf8(description) || !is_valid_utf8(value)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Track track;
  track.title = in.piece();
  track.source = valid_utf8(in.piece());
  track.url_id = valid_utf8(in.piece());
  track.singer = valid_utf8(in.piece());
  const std::string first = in.rest();  // the first name's file, as found there

  if (std::optional<SongTag> tag =
          read_id3_tag(reinterpret_cast<const unsigned char*>(first.data()), first.size()))
    check_texts(*tag);
  const SongTag written = song_tag(track);
  const Bytes bytes = write_id3_tag(written);
  const std::optional<SongTag> read = read_id3_tag(bytes);
  // A text that a tag holds as it is: short enough, and no NUL in it (a NUL ends a frame's text).
  const auto fits = [](const Text& t) {
    return t.find('\0') == Text::npos && utf8_to_utf16(t).size() <= kMaxTagTextUnits;
  };
  if (!read || is_tag_of(*read, track) != (fits(track.source) && fits(track.url_id) && !track.source.empty() &&
                                           !track.url_id.empty()))
    std::abort();
  if (fits(track.singer) && read->singer != track.singer) std::abort();

  MemoryFiles files;
  files.files[song_file_path("C:\\run", track.title, 1)] = first;
  files.files[song_file_path("C:\\run", track.title, 2)] = Text(bytes.begin(), bytes.end()) + first;
  const SongPlace place = find_song_place(files, "C:\\run", track.title, track);
  if (place.saved.empty() == place.free.empty()) std::abort();
  if (!place.free.empty() && files.exact_exists(place.free)) std::abort();
  if (!place.saved.empty()) {
    const std::optional<SongTag> tag = read_file_tag(files, place.saved);
    if (!tag || !is_tag_of(*tag, track) || !file_is_whole_song(files, place.saved)) std::abort();
  }
  return 0;
}
