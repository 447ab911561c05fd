// A song file read while it plays. Opened with every sharing, so that a download may go on writing it,
// replace it or the exit clean-up delete it meanwhile; reads give what is there at the moment.
#include <windows.h>

#include "runtime/song_source.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

class FileSongSource final : public SongSource {
 public:
  FileSongSource(FileHandle file, std::function<SourceState()> state)
      : file_(std::move(file)), state_(std::move(state)) {}

  std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), out, want, &n, &at)) return 0;  // past the end, or the disk failed
    return n;
  }
  SourceState state() const override { return state_ ? state_() : SourceState::complete; }

 private:
  FileHandle file_;
  std::function<SourceState()> state_;
};

}  // namespace

std::unique_ptr<SongSource> open_song_file(std::string_view path, std::function<SourceState()> state) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return nullptr;
  FileHandle file(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<FileSongSource>(std::move(file), std::move(state));
}

}  // namespace qiwa
