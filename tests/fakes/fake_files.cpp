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
    if (failed_ || closed_ || files_.refused(path_) || !files_.step() || !files_.take_space(size)) {
      failed_ = true;
      return false;
    }
    auto it = files_.files_.find(path_);
    if (it != files_.files_.end()) it->second.content.append(reinterpret_cast<const char*>(data), size);
    files_.unflushed_.insert(path_);
    return true;
  }
  bool flush() override {
    Lock lock(files_.mutex_);
    if (failed_ || closed_ || files_.refused(path_) || !files_.step()) return false;
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

class FakeLock final : public FileLock {
 public:
  FakeLock(FakeFiles& files, Text path) : files_(files), path_(std::move(path)) {}
  ~FakeLock() override {
    Lock lock(files_.mutex_);
    files_.locks_.erase(path_);
  }

 private:
  FakeFiles& files_;
  Text path_;
};

class FakeInputFile final : public InputFile {
 public:
  FakeInputFile(FakeFiles& files, Text path) : files_(files), path_(std::move(path)) {}
  std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
    Lock lock(files_.mutex_);
    auto it = files_.files_.find(path_);
    if (it == files_.files_.end() || offset >= it->second.content.size() || files_.reading_refused(path_)) return 0;
    const std::size_t n = std::min<std::size_t>(size, it->second.content.size() - static_cast<std::size_t>(offset));
    std::copy_n(it->second.content.data() + offset, n, out);
    return n;
  }
  std::uint64_t size() override {
    Lock lock(files_.mutex_);
    auto it = files_.files_.find(path_);
    return it == files_.files_.end() ? 0 : it->second.content.size();
  }

 private:
  FakeFiles& files_;
  Text path_;
};

FakeFiles::FakeFiles(Text run_directory, Text system_directory)
    : run_directory_(std::move(run_directory)), system_directory_(std::move(system_directory)) {
  for (const Text& dir : {run_directory_, parent_of(system_directory_ + "x"), app_data_}) make_directories(dir);
}

bool FakeFiles::refused(std::string_view path) const {
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

bool FakeFiles::step() {
  ++steps_;
  return !crash_at_ || steps_ < *crash_at_;
}

bool FakeFiles::writable_file(std::string_view path) const {
  return !path.empty() && !refused(path) && !directories_.count(Text(path)) && parent_exists(path);
}

bool FakeFiles::exact_exists(std::string_view path) {
  Lock lock(mutex_);
  return files_.count(Text(path)) > 0;
}

bool FakeFiles::write(std::string_view path, const std::vector<Bytes>& parts) {
  Lock lock(mutex_);
  const Text key(path);
  if (!writable_file(path) || !step()) return false;
  Text content;
  for (const Bytes& part : parts) content.append(part.begin(), part.end());
  if (!take_space(content.size())) {
    files_.erase(key);  // never a partial file
    return false;
  }
  files_[key] = {std::move(content), now_ms_};
  return true;
}

bool FakeFiles::remove(std::string_view path) {
  Lock lock(mutex_);
  return !refused(path) && files_.count(Text(path)) && step() && files_.erase(Text(path)) > 0;
}

bool FakeFiles::move_new(std::string_view from, std::string_view to) {
  Lock lock(mutex_);
  auto it = files_.find(Text(from));
  if (it == files_.end() || refused(from) || !writable_file(to) || files_.count(Text(to)) || !step()) return false;
  File file = std::move(it->second);
  files_.erase(it);
  files_[Text(to)] = std::move(file);
  return true;
}

bool FakeFiles::replace_with(std::string_view from, std::string_view to) {
  Lock lock(mutex_);
  auto it = files_.find(Text(from));
  if (it == files_.end() || refused(from) || !writable_file(to) || unflushed_.count(Text(from)) ||
      fail_replacements_ || !step())
    return false;
  File file = std::move(it->second);
  files_.erase(it);
  files_[Text(to)] = std::move(file);
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
  if (!writable_file(path) || files_.count(Text(path)) || !step()) return nullptr;
  files_[Text(path)] = {Text(), now_ms_};
  created_.emplace_back(path);
  return std::make_unique<FakeOutputFile>(*this, Text(path));
}

// The steps a real disk takes, so that a crash between any two leaves what it would leave there.
bool FakeFiles::replace_file(std::string_view path, std::string_view bytes) {
  Lock lock(mutex_);
  if (!writable_file(path)) return false;
  const Text temporary = Text(path) + "." + std::to_string(process_id_) + "-" + std::to_string(++temporaries_) +
                         Text(kReplaceTemporarySuffix);
  if (!step()) return false;
  File& file = files_[temporary];
  file.modified_ms = now_ms_;
  for (std::size_t at = 0; at < bytes.size(); at += chunk_) {
    std::size_t n = std::min(chunk_, bytes.size() - at);
    if (!step()) return false;
    if (!take_space(n)) {
      files_.erase(temporary);  // a full disk: the backend removes what it began
      return false;
    }
    file.content.append(bytes.substr(at, n));
  }
  if (!step() || !step()) return false;  // the flush, then the rename
  files_[Text(path)] = std::move(file);
  files_.erase(temporary);
  return true;
}

bool FakeFiles::reading_refused(std::string_view path) const {
  for (const Text& part : refused_reading_)
    if (path.find(part) != std::string_view::npos) return true;
  return false;
}

std::optional<Text> FakeFiles::read_file(std::string_view path, std::size_t limit) {
  Lock lock(mutex_);
  if (reading_refused(path)) return std::nullopt;
  auto it = files_.find(Text(path));
  if (it == files_.end() || it->second.content.size() > limit) return std::nullopt;
  return it->second.content;
}

std::optional<FileInfo> FakeFiles::file_info(std::string_view path) {
  Lock lock(mutex_);
  auto it = files_.find(Text(path));
  if (it == files_.end()) return std::nullopt;
  return FileInfo{Text(), it->second.content.size(), it->second.modified_ms};
}

std::vector<FileInfo> FakeFiles::list_files(std::string_view directory) {
  Lock lock(mutex_);
  std::vector<FileInfo> out;
  for (const auto& [path, file] : files_)
    if (parent_of(path) == directory)
      out.push_back({path.substr(directory.size() + 1), file.content.size(), file.modified_ms});
  return out;
}

bool FakeFiles::folder_writable(std::string_view directory) {
  Lock lock(mutex_);
  return directories_.count(Text(directory)) && !refused(Text(directory) + "\\");
}

bool FakeFiles::make_directory(std::string_view path) {
  Lock lock(mutex_);
  const Text key(path);
  if (directories_.count(key)) return true;
  if (path.empty() || files_.count(key) || !parent_exists(path) || refused(path) || !step()) return false;
  directories_.insert(key);
  return true;
}

Text FakeFiles::app_data_directory() {
  Lock lock(mutex_);
  return app_data_;
}

std::unique_ptr<FileLock> FakeFiles::try_lock(std::string_view path) {
  Lock lock(mutex_);
  if (!parent_exists(path) || !locks_.insert(Text(path)).second) return nullptr;
  return std::make_unique<FakeLock>(*this, Text(path));
}

unsigned FakeFiles::process_id() {
  std::lock_guard lock(mutex_);
  return process_id_;
}

bool FakeFiles::process_running(unsigned id) {
  std::lock_guard lock(mutex_);
  return id == process_id_ || running_.count(id) > 0;
}

void FakeFiles::run_process(unsigned id) {
  std::lock_guard lock(mutex_);
  running_.insert(id);
}

void FakeFiles::set_time(std::int64_t modified_ms) {
  Lock lock(mutex_);
  now_ms_ = modified_ms;
}

std::unique_ptr<InputFile> FakeFiles::open_read(std::string_view path) {
  Lock lock(mutex_);
  if (refused(path) || !files_.count(Text(path))) return nullptr;
  return std::make_unique<FakeInputFile>(*this, Text(path));
}

void FakeFiles::put(std::string_view path, std::string_view content) {
  Lock lock(mutex_);
  files_[Text(path)] = {Text(content), now_ms_};
}

void FakeFiles::put(std::string_view path, std::string_view content, std::int64_t modified_ms) {
  Lock lock(mutex_);
  files_[Text(path)] = {Text(content), modified_ms};
}

void FakeFiles::make_directories(std::string_view path) {
  Lock lock(mutex_);
  for (Text dir(path); !dir.empty(); dir = parent_of(dir)) directories_.insert(dir);
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

void FakeFiles::refuse_reading(std::string_view part) {
  Lock lock(mutex_);
  refused_reading_.emplace_back(part);
}

void FakeFiles::crash_at_step(std::size_t n, std::size_t chunk) {
  Lock lock(mutex_);
  steps_ = 0;
  crash_at_ = n;
  chunk_ = chunk == 0 ? 1 : chunk;
}

std::size_t FakeFiles::steps_taken() const {
  Lock lock(mutex_);
  return steps_;
}

void FakeFiles::restart() {
  Lock lock(mutex_);
  crash_at_.reset();
  steps_ = 0;
  locks_.clear();  // the dead process's locks went with it
  ++process_id_;
}

std::optional<Text> FakeFiles::read(std::string_view path) const {
  Lock lock(mutex_);
  auto it = files_.find(Text(path));
  return it == files_.end() ? std::nullopt : std::optional<Text>(it->second.content);
}

std::set<Text> FakeFiles::names_in(std::string_view directory) const {
  Lock lock(mutex_);
  std::set<Text> names;
  for (const auto& [path, file] : files_)
    if (parent_of(path) == directory) names.insert(path.substr(directory.size() + 1));
  return names;
}

bool FakeFiles::is_directory(std::string_view path) const {
  Lock lock(mutex_);
  return directories_.count(Text(path)) > 0;
}

}  // namespace qiwa::fakes
