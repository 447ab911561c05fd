// File service of the host build: paths keep their UTF-8, "\\" becomes "/".
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "runtime/files.hpp"
#include "runtime/posix/files_posix.hpp"
#include "runtime/wildcard.hpp"

namespace qiwa {
namespace {

std::mutex g_system_directory_mutex;
Text g_system_directory = "/usr/lib\\";

// Splits a host path into its directory (never empty) and its last component.
std::pair<std::string, std::string> split_host(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool write_all(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int create_truncated(std::string_view path) {
  if (path.empty()) return -1;
  return ::open(host_path(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool is_directory(const std::string& dir, const char* name) {
  struct stat st {};
  std::string full = (dir == "/" ? "" : dir) + "/" + name;
  return ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void set_system_directory(std::string_view directory) {
  Text dir(directory);
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  std::lock_guard lock(g_system_directory_mutex);
  g_system_directory = dir + "\\";
}

std::string host_path(std::string_view path) {
  std::string host(path);  // UTF-8 never holds 0x5C inside a character
  for (char& c : host)
    if (c == '\\') c = '/';
  return host;
}

Text run_directory() {
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return ".";
  buffer.resize(static_cast<std::size_t>(n));
  return split_host(buffer).first;
}

Text system_directory() {
  std::lock_guard lock(g_system_directory_mutex);
  return g_system_directory;
}

bool file_exists(std::string_view pattern) {
  if (pattern.empty()) return false;
  if (!has_wildcard(pattern)) {
    struct stat st {};
    return ::stat(host_path(pattern).c_str(), &st) == 0;
  }
  auto [dir, name_pattern] = split_host(host_path(pattern));
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = ::readdir(d)) {
    if (std::string_view(e->d_name) == "." || std::string_view(e->d_name) == "..") continue;
    if (wildcard_match(name_pattern, e->d_name)) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

bool exact_file_exists(std::string_view path) {
  struct stat st {};
  return !path.empty() && ::stat(host_path(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool write_file(std::string_view path, const std::vector<Bytes>& parts) {
  int fd = create_truncated(path);
  if (fd < 0) return false;
  bool ok = true;
  for (const Bytes& part : parts) ok = ok && write_all(fd, part.data(), part.size());
  ok = (::close(fd) == 0) && ok;
  if (!ok) ::unlink(host_path(path).c_str());  // never leave a partial file behind
  return ok;
}

bool write_file(std::string_view path, const Bytes& bytes) { return write_file(path, std::vector<Bytes>{bytes}); }

bool delete_file(std::string_view path) { return !path.empty() && ::unlink(host_path(path).c_str()) == 0; }

bool move_file(std::string_view from, std::string_view to) {
  return !from.empty() && !to.empty() && std::rename(host_path(from).c_str(), host_path(to).c_str()) == 0;
}

struct FileSearch::State {
  DIR* dir = nullptr;
  std::string directory;
  Text pattern;
};

FileSearch::FileSearch() : state_(std::make_unique<State>()) {}
FileSearch::~FileSearch() { close(); }

void FileSearch::close() {
  if (state_->dir) ::closedir(state_->dir);
  state_->dir = nullptr;
}

Text FileSearch::next(std::string_view pattern) {
  if (!pattern.empty()) {
    close();
    auto [dir, name_pattern] = split_host(host_path(pattern));
    state_->directory = dir;
    state_->pattern = name_pattern;
    state_->dir = ::opendir(dir.c_str());
  }
  if (!state_->dir) return {};
  while (dirent* e = ::readdir(state_->dir)) {
    Text name = e->d_name;
    if (!wildcard_match(state_->pattern, name) || is_directory(state_->directory, e->d_name)) continue;
    return name;
  }
  close();
  return {};
}

struct OutputFile::State {
  int fd = -1;
  bool failed = false;
};

OutputFile::OutputFile() : state_(std::make_unique<State>()) {}
OutputFile::~OutputFile() { close(); }

bool OutputFile::open(std::string_view path) {
  close();
  state_->fd = create_truncated(path);
  state_->failed = false;
  return state_->fd >= 0;
}

bool OutputFile::write(const unsigned char* data, std::size_t size) {
  if (state_->fd < 0) return false;
  if (!write_all(state_->fd, data, size)) state_->failed = true;
  return !state_->failed;
}

bool OutputFile::close() {
  if (state_->fd < 0) return false;
  bool ok = ::close(state_->fd) == 0 && !state_->failed;
  state_->fd = -1;
  return ok;
}

}  // namespace qiwa
