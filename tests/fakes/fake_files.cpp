#include "fakes/fake_files.hpp"

#include <algorithm>

namespace qiwa::fakes {
namespace {

using Lock = std::lock_guard<std::mutex>;

Text parent_of(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? Text() : Text(path.substr(0, slash));
}

}  // namespace

// A file opened for writing: its bytes land in the file system as they come, as on a real disk.
class FakeOutputFile final : public OutputFile {
 public:
  FakeOutputFile(FakeFiles& files, Text path) : files_(files), path_(std::move(path)) {}
  bool write(const unsigned char* data, std::size_t size) override {
    Lock lock(files_.mutex_);
    if (failed_ || closed_ || files_.refused(path_) || !files_.take_space(size)) {
      failed_ = true;
      return false;
    }
    auto it = files_.files_.find(path_);
    if (it != files_.files_.end()) it->second.append(reinterpret_cast<const char*>(data), size);
    files_.unflushed_.insert(path_);
    return true;
  }
  bool flush() override {
    Lock lock(files_.mutex_);
    if (failed_ || closed_ || files_.refused(path_)) return false;
    files_.unflushed_.erase(path_);
    return true;
  }
  bool close() override {
    closed_ = true;
    return !failed_;
  }

 private:
  FakeFiles& files_;
  Text path_;
  bool failed_ = false;
  bool closed_ = false;
};

// A file read through its path as it is at each read: bytes written after the open are seen, as on a real
// disk; once it is renamed or deleted the next read fails.
class FakeInputFile final : public InputFile {
 public:
  FakeInputFile(FakeFiles& files, Text path) : files_(files), path_(std::move(path)) {}
  std::optional<std::size_t> read(unsigned char* data, std::size_t size) override {
    Lock lock(files_.mutex_);
    auto it = files_.files_.find(path_);
    if (it == files_.files_.end() || files_.refused(path_)) return std::nullopt;
    const std::size_t n = at_ < it->second.size() ? std::min(size, it->second.size() - at_) : 0;
    std::copy_n(it->second.data() + at_, n, data);
    at_ += n;
    return n;
  }

 private:
  FakeFiles& files_;
  Text path_;
  std::size_t at_ = 0;
};

FakeFiles::FakeFiles(Text run_directory, Text system_directory)
    : run_directory_(std::move(run_directory)), system_directory_(std::move(system_directory)) {
  for (Text dir : {run_directory_, parent_of(system_directory_ + "x")}) {
    while (!dir.empty()) {
      directories_.insert(dir);
      dir = parent_of(dir);
    }
  }
}

bool FakeFiles::refused(std::string_view path) const {
  if (refused_exactly_.count(Text(path))) return true;
  for (const Text& part : refused_)
    if (path.find(part) != std::string_view::npos) return true;
  return false;
}

bool FakeFiles::take_space(std::size_t bytes) {
  if (!space_) return true;
  if (bytes > *space_) {
    *space_ = 0;
    return false;
  }
  *space_ -= bytes;
  return true;
}

bool FakeFiles::parent_exists(std::string_view path) const { return directories_.count(parent_of(path)) > 0; }

bool FakeFiles::exact_exists(std::string_view path) {
  Lock lock(mutex_);
  return files_.count(Text(path)) > 0;
}

bool FakeFiles::write(std::string_view path, const std::vector<Bytes>& parts) {
  Lock lock(mutex_);
  const Text key(path);
  if (path.empty() || refused(path) || directories_.count(key) || !parent_exists(path)) return false;
  Text content;
  for (const Bytes& part : parts) content.append(part.begin(), part.end());
  if (!take_space(content.size())) {
    files_.erase(key);  // never a partial file
    return false;
  }
  files_[key] = std::move(content);
  return true;
}

bool FakeFiles::remove(std::string_view path) {
  Lock lock(mutex_);
  return !refused(path) && files_.erase(Text(path)) > 0;
}

bool FakeFiles::move_new(std::string_view from, std::string_view to) {
  Lock lock(mutex_);
  auto it = files_.find(Text(from));
  if (it == files_.end() || refused(from) || refused(to) || directories_.count(Text(to)) ||
      files_.count(Text(to)) || !parent_exists(to))
    return false;
  Text content = std::move(it->second);
  files_.erase(it);
  files_[Text(to)] = std::move(content);
  return true;
}

bool FakeFiles::replace_file(std::string_view from, std::string_view to) {
  Lock lock(mutex_);
  auto it = files_.find(Text(from));
  if (it == files_.end() || refused(from) || refused(to) || directories_.count(Text(to)) ||
      unflushed_.count(Text(from)) || fail_replacements_ || !parent_exists(to))
    return false;
  Text content = std::move(it->second);
  files_.erase(it);
  files_[Text(to)] = std::move(content);
  return true;
}

std::unique_ptr<OutputFile> FakeFiles::create_new(std::string_view path) {
  std::function<void(std::string_view)> hook;
  {
    Lock lock(mutex_);
    hook = before_create_;
  }
  if (hook) hook(path);
  Lock lock(mutex_);
  const Text key(path);
  if (path.empty() || refused(path) || directories_.count(key) || files_.count(key) || !parent_exists(path))
    return nullptr;
  files_[key].clear();
  created_.push_back(key);
  return std::make_unique<FakeOutputFile>(*this, key);
}

std::unique_ptr<InputFile> FakeFiles::open(std::string_view path) {
  Lock lock(mutex_);
  const Text key(path);
  if (!files_.count(key) || refused(path)) return nullptr;
  return std::make_unique<FakeInputFile>(*this, key);
}

void FakeFiles::put(std::string_view path, std::string_view content) {
  Lock lock(mutex_);
  files_[Text(path)] = Text(content);
}

void FakeFiles::make_directory(std::string_view path) {
  Lock lock(mutex_);
  directories_.insert(Text(path));
}

void FakeFiles::before_create(std::function<void(std::string_view)> hook) {
  Lock lock(mutex_);
  before_create_ = std::move(hook);
}

std::vector<Text> FakeFiles::created() const {
  Lock lock(mutex_);
  return created_;
}

void FakeFiles::fill_disk_after(std::optional<std::size_t> bytes) {
  Lock lock(mutex_);
  space_ = bytes;
}

void FakeFiles::refuse(std::string_view part) {
  Lock lock(mutex_);
  refused_.emplace_back(part);
}

void FakeFiles::refuse_exactly(std::string_view path) {
  Lock lock(mutex_);
  refused_exactly_.emplace(path);
}

std::optional<Text> FakeFiles::read(std::string_view path) const {
  Lock lock(mutex_);
  auto it = files_.find(Text(path));
  return it == files_.end() ? std::nullopt : std::optional<Text>(it->second);
}

std::set<Text> FakeFiles::names_in(std::string_view directory) const {
  Lock lock(mutex_);
  std::set<Text> names;
  for (const auto& [path, content] : files_)
    if (parent_of(path) == directory) names.insert(path.substr(directory.size() + 1));
  return names;
}

bool FakeFiles::is_directory(std::string_view path) const {
  Lock lock(mutex_);
  return directories_.count(Text(path)) > 0;
}

}  // namespace qiwa::fakes
