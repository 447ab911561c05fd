#include "runtime/song_source.hpp"

#include "runtime/files.hpp"

namespace qiwa {
namespace {

class FileSongSource final : public SongSource {
 public:
  FileSongSource(std::unique_ptr<InputFile> file, std::function<SourceState()> growing)
      : file_(std::move(file)), growing_(std::move(growing)) {}

  std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
    return file_->read(offset, out, size);
  }
  SourceState state() const override { return growing_ ? growing_() : SourceState::complete; }
  std::uint64_t size() const override { return file_->size(); }

 private:
  std::unique_ptr<InputFile> file_;
  std::function<SourceState()> growing_;
};

}  // namespace

std::unique_ptr<SongSource> open_song_source(Files& files, std::string_view path,
                                             std::function<SourceState()> growing) {
  std::unique_ptr<InputFile> file = files.open_read(path);
  if (!file) return nullptr;
  return std::make_unique<FileSongSource>(std::move(file), std::move(growing));
}

}  // namespace qiwa
