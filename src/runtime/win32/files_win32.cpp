// File service over the wide Windows API.
#include <windows.h>

#include "runtime/files.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

// The path as the system takes it; empty, which every call refuses, when it holds a NUL that would
// cut it short and name another file.
std::wstring os_path(std::string_view path) {
  return path.find('\0') == std::string_view::npos ? wide(path) : std::wstring();
}

FileHandle create_truncated(std::string_view path) {
  if (path.empty()) return FileHandle();
  return FileHandle(CreateFileW(os_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool write_all(HANDLE file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool is_directory(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

Text run_directory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/"));
  return narrow(path);
}

Text system_directory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  std::wstring dir(buffer, n <= MAX_PATH ? n : 0);
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return narrow(dir) + "\\";
}

bool file_exists(std::string_view pattern) {
  if (pattern.empty()) return false;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(os_path(pattern).c_str(), &data));
  return static_cast<bool>(find);
}

bool exact_file_exists(std::string_view path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(os_path(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool write_file(std::string_view path, const std::vector<Bytes>& parts) {
  FileHandle file = create_truncated(path);
  if (!file) return false;
  bool ok = true;
  for (const Bytes& part : parts) ok = ok && write_all(file.get(), part.data(), part.size());
  ok = CloseHandle(file.release()) && ok;
  if (!ok) DeleteFileW(os_path(path).c_str());  // never leave a partial file behind
  return ok;
}

bool write_file(std::string_view path, const Bytes& bytes) { return write_file(path, std::vector<Bytes>{bytes}); }

bool delete_file(std::string_view path) { return !path.empty() && DeleteFileW(os_path(path).c_str()); }

bool move_file(std::string_view from, std::string_view to) {
  return !from.empty() && !to.empty() &&
         MoveFileExW(os_path(from).c_str(), os_path(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

struct FileSearch::State {
  FindHandle find;
  WIN32_FIND_DATAW data{};
  bool pending = false;  // `data` holds an entry not yet returned
};

FileSearch::FileSearch() : state_(std::make_unique<State>()) {}
FileSearch::~FileSearch() = default;

void FileSearch::close() {
  state_->find.reset();
  state_->pending = false;
}

Text FileSearch::next(std::string_view pattern) {
  State& s = *state_;
  if (!pattern.empty()) {
    s.find.reset(FindFirstFileW(os_path(pattern).c_str(), &s.data));
    s.pending = static_cast<bool>(s.find);
  }
  while (s.find) {
    if (!s.pending && !FindNextFileW(s.find.get(), &s.data)) break;
    s.pending = false;
    if (!is_directory(s.data)) return narrow(s.data.cFileName);
  }
  close();
  return {};
}

struct OutputFile::State {
  FileHandle file;
  bool failed = false;
};

OutputFile::OutputFile() : state_(std::make_unique<State>()) {}
OutputFile::~OutputFile() = default;

bool OutputFile::open(std::string_view path) {
  state_->file = create_truncated(path);
  state_->failed = false;
  return static_cast<bool>(state_->file);
}

bool OutputFile::write(const unsigned char* data, std::size_t size) {
  if (!state_->file) return false;
  if (!write_all(state_->file.get(), data, size)) state_->failed = true;
  return !state_->failed;
}

bool OutputFile::close() {
  if (!state_->file) return false;
  bool ok = CloseHandle(state_->file.release()) && !state_->failed;
  return ok;
}

}  // namespace qiwa
