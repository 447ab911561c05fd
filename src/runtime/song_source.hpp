#pragma once
// The bytes of a song file as the player reads them while it plays: from any offset, of a file that
// may still be growing (a song that is still downloading).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace qiwa {

class Files;

enum class SourceState {
  growing,   // more bytes may still come
  complete,  // every byte is there
  failed,    // no more will come, and the song is not whole
};

class SongSource {
 public:
  virtual ~SongSource() = default;
  // Up to size bytes from offset; fewer, or none, past what is there now.
  virtual std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) = 0;
  // Asked before a read: a read that comes up short after "complete" was seen has reached the end.
  virtual SourceState state() const = 0;
  // The bytes there now.
  virtual std::uint64_t size() const = 0;
};

// A song file opened through the platform's files; `growing` tells the download's state while it is
// still being written (none: the file is whole). Null when it cannot be opened.
std::unique_ptr<SongSource> open_song_source(Files& files, std::string_view path,
                                             std::function<SourceState()> growing = {});

}  // namespace qiwa
