#include "music/retag.hpp"

#include <algorithm>

#include "runtime/mp3_frames.hpp"
#include "runtime/text.hpp"

namespace qiwa {
namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kId3v1Size = 128;
constexpr unsigned kMaxTemporaryNames = 100;

// The song read from its start on, piece after piece.
struct Reader {
  InputFile& file;
  std::uint64_t at = 0;
};

// Appends what the file gives until `buffer` holds `want` bytes or the file ends; false when a read failed
// (nothing came short of the file's size).
bool fill(Reader& in, Bytes& buffer, std::size_t want) {
  while (buffer.size() < want) {
    const std::size_t at = buffer.size();
    buffer.resize(want);
    const std::size_t got = in.file.read(in.at, buffer.data() + at, want - at);
    buffer.resize(at + got);
    in.at += got;
    if (got == 0) return in.at >= in.file.size();
  }
  return true;
}

// Reads past the ID3v2 tags the file starts with; `buffer` keeps what came after them.
bool skip_leading_tags(Reader& in, Bytes& buffer) {
  for (;;) {
    if (!fill(in, buffer, 10)) return false;
    std::size_t tag = id3v2_tag_size(buffer.data(), buffer.size());
    if (tag == 0) return true;
    const std::size_t here = std::min(tag, buffer.size());
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(here));
    for (tag -= here; tag > 0;) {  // a tag larger than what came: read past its rest
      if (!fill(in, buffer, std::min(tag, kChunk))) return false;
      if (buffer.empty()) return true;
      tag -= buffer.size();
      buffer.clear();
    }
  }
}

struct Copied {
  Retag failure = Retag::done;
  std::uint64_t audio = 0;
};

// Copies the rest of the song, holding its last 128 bytes back until the end to leave out an ID3v1 tag.
Copied copy_audio(Reader& in, OutputFile& out) {
  Bytes buffer;
  buffer.reserve(kChunk + kId3v1Size);
  if (!skip_leading_tags(in, buffer)) return {Retag::unreadable};
  Copied copied;
  for (;;) {
    if (!fill(in, buffer, kChunk + kId3v1Size)) return {Retag::unreadable};
    const bool ended = buffer.size() < kChunk + kId3v1Size;
    std::size_t give = buffer.size() > kId3v1Size ? buffer.size() - kId3v1Size : 0;
    if (ended) {
      const bool v1 = buffer.size() >= kId3v1Size &&
                      std::equal(buffer.end() - kId3v1Size, buffer.end() - kId3v1Size + 3, "TAG");
      give = v1 ? buffer.size() - kId3v1Size : buffer.size();
    }
    if (give > 0 && !out.write(buffer.data(), give)) return {Retag::no_room};
    copied.audio += give;
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(give));
    if (ended) return copied;
  }
}

struct Temporary {
  Text path;
  std::unique_ptr<OutputFile> file;
};

Temporary create_temporary(Files& files, std::string_view path) {
  const Text stem = Text(path) + "." + to_text(static_cast<long long>(files.process_id())) + "-";
  for (unsigned n = 1; n <= kMaxTemporaryNames; ++n) {
    Temporary temporary{stem + to_text(static_cast<long long>(n)) + ".retag", nullptr};
    temporary.file = files.create_new(temporary.path);
    if (temporary.file || !files.exact_exists(temporary.path)) return temporary;
  }
  return {};
}

Retag write_beside(InputFile& song, const Temporary& temporary, const SongTag& tag) {
  const Bytes head = write_id3_tag(tag);
  if (!temporary.file->write(head.data(), head.size())) return Retag::no_room;
  Reader reader{song};
  const Copied copied = copy_audio(reader, *temporary.file);
  if (copied.failure != Retag::done) return copied.failure;
  if (copied.audio == 0) return Retag::no_audio;
  return temporary.file->flush() && temporary.file->close() ? Retag::done : Retag::no_room;
}

}  // namespace

Retag retag_song(Files& files, std::string_view path, const SongTag& tag) {
  std::unique_ptr<InputFile> song = files.open_read(path);
  if (!song) return Retag::unreadable;
  Temporary temporary = create_temporary(files, path);
  if (!temporary.file) return Retag::no_room;
  Retag result = write_beside(*song, temporary, tag);
  temporary.file.reset();
  song.reset();
  if (result == Retag::done && !files.replace_with(temporary.path, path)) result = Retag::not_replaced;
  if (result != Retag::done) files.remove(temporary.path);
  return result;
}

}  // namespace qiwa
