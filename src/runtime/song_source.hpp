#pragma once
// The bytes of a song file as the player reads them while it plays: from any offset, of a file that
// may still be growing (a song that is still downloading).
#include <cstddef>
#include <cstdint>

namespace qiwa {

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
};

}  // namespace qiwa
