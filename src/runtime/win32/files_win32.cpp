// File service over the wide Windows API.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>

#include <cstring>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/file_time.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

// The path as the system takes it; empty, which every call refuses, when it holds a NUL that would
// cut it short and name another file.
std::wstring os_path(std::string_view path) {
  return path.find('\0') == std::string_view::npos ? wide(path) : std::wstring();
}

// Others may read the file and delete or rename it while it is written: the player reads a song as
// it arrives, and the exit removes a download cut short. CREATE_NEW makes a file only where none is.
FileHandle create_for_writing(std::string_view path, DWORD disposition) {
  std::wstring native = os_path(path);
  if (native.empty()) return FileHandle();
  return FileHandle(CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
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

// A name beside `path` that no other write of this or another process takes.
std::wstring unique_beside(const std::wstring& path, std::string_view suffix) {
  static std::atomic<unsigned> counter{0};
  return path + L"." + wide(to_text(GetCurrentProcessId()) + "-" + to_text(++counter)) + wide(suffix);
}

// Puts the whole, flushed temporary over the target. ReplaceFileW keeps what belongs to the target (its
// security, attributes and creation time) and leaves the target as it was on each failure it can have
// without a backup name; it needs a target, so a first write (or a file system that lacks it) renames
// with MoveFileExW, which replaces in one step and returns only once the rename is on the disk.
bool put_over(const std::wstring& temporary, const std::wstring& target) {
  if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  const DWORD error = GetLastError();
  const bool target_missing = GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES &&
                              GetLastError() == ERROR_FILE_NOT_FOUND;
  if (!target_missing && error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) return false;
  return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool replace_whole(std::string_view path, std::string_view bytes) {
  const std::wstring target = os_path(path);
  if (target.empty()) return false;
  const std::wstring temporary = unique_beside(target, kReplaceTemporarySuffix);
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!file) return false;
  bool ok = write_all(file.get(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) &&
            FlushFileBuffers(file.get());
  ok = CloseHandle(file.release()) && ok && put_over(temporary, target);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

std::optional<Text> read_whole(std::string_view path, std::size_t limit) {
  const std::wstring native = os_path(path);
  if (native.empty()) return std::nullopt;
  // Sharing everything: another copy of the program may replace the file meanwhile.
  FileHandle file(CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > limit)
    return std::nullopt;
  Text bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &n, nullptr)) return std::nullopt;
    if (n == 0) break;  // cut shorter meanwhile
    done += n;
  }
  bytes.resize(done);
  return bytes;
}

std::vector<FileInfo> files_in(std::string_view directory) {
  std::vector<FileInfo> out;
  const std::wstring native = os_path(directory);
  if (native.empty()) return out;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileExW((native + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return out;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    out.push_back({narrow(data.cFileName),
                   (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                   unix_ms(data.ftLastWriteTime)});
  } while (FindNextFileW(find.get(), &data));
  return out;
}

std::optional<FileInfo> info_of(std::string_view path) {
  const std::wstring native = os_path(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (native.empty() || !GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return FileInfo{Text(), (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                  unix_ms(data.ftLastWriteTime)};
}

// A file made and deleted: the only sure way to know (a folder's attributes and ACLs do not tell).
bool can_make_file_in(std::string_view directory) {
  const std::wstring native = os_path(directory);
  if (native.empty()) return false;
  FileHandle probe(CreateFileW(unique_beside(native + L"\\.qiwa-probe", ".tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return static_cast<bool>(probe);
}

bool ensure_directory(std::string_view path) {
  const std::wstring native = os_path(path);
  if (native.empty()) return false;
  if (CreateDirectoryW(native.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesW(native.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Text roaming_app_data() {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) return Text();
  std::wstring dir(buffer);
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return narrow(dir);
}

// The lock is a file opened by one process at a time and deleted when it closes, so a killed process
// leaves none behind.
class Win32FileLock final : public FileLock {
 public:
  explicit Win32FileLock(FileHandle file) : file_(std::move(file)) {}

 private:
  FileHandle file_;
};

std::unique_ptr<FileLock> lock_file(std::string_view path) {
  const std::wstring native = os_path(path);
  if (native.empty()) return nullptr;
  FileHandle file(CreateFileW(native.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32FileLock>(std::move(file));
}

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(FileHandle file) : file_(std::move(file)) {}
  bool write(const unsigned char* data, std::size_t size) override {
    if (!file_) return false;
    if (!write_all(file_.get(), data, size)) failed_ = true;
    return !failed_;
  }
  bool flush() override { return file_ && !failed_ && FlushFileBuffers(file_.get()); }
  bool close() override {
    if (!file_) return false;
    return CloseHandle(file_.release()) && !failed_;
  }

 private:
  FileHandle file_;
  bool failed_ = false;
};

// Read with every sharing, so that a download may go on writing the file, replace it or the exit
// clean-up delete it meanwhile; reads give what is there at the moment.
class Win32InputFile final : public InputFile {
 public:
  explicit Win32InputFile(FileHandle file) : file_(std::move(file)) {}
  std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), out, want, &n, &at)) return 0;  // past the end, or the disk failed
    return n;
  }
  std::uint64_t size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  }

 private:
  FileHandle file_;
};

class Win32Files final : public Files {
 public:
  Text run_directory() override;
  Text system_directory() override;
  bool exact_exists(std::string_view path) override;
  bool write(std::string_view path, const std::vector<Bytes>& parts) override;
  bool remove(std::string_view path) override { return DeleteFileW(os_path(path).c_str()); }
  bool move_new(std::string_view from, std::string_view to) override {
    const std::wstring source = os_path(from), target = os_path(to);
    return !source.empty() && !target.empty() && MoveFileExW(source.c_str(), target.c_str(), 0);
  }
  std::unique_ptr<OutputFile> create_new(std::string_view path) override {
    FileHandle file = create_for_writing(path, CREATE_NEW);
    if (!file) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(file));
  }
  unsigned process_id() override { return GetCurrentProcessId(); }
  // A process that cannot be opened for lack of rights runs; only "no such process" says it ended.
  bool process_running(unsigned id) override {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
  }
  bool replace_with(std::string_view from, std::string_view to) override;
  bool replace_file(std::string_view path, std::string_view bytes) override { return replace_whole(path, bytes); }
  std::optional<Text> read_file(std::string_view path, std::size_t limit) override { return read_whole(path, limit); }
  std::optional<FileInfo> file_info(std::string_view path) override { return info_of(path); }
  std::vector<FileInfo> list_files(std::string_view directory) override { return files_in(directory); }
  bool folder_writable(std::string_view directory) override { return can_make_file_in(directory); }
  bool make_directory(std::string_view path) override { return ensure_directory(path); }
  Text app_data_directory() override { return roaming_app_data(); }
  std::unique_ptr<FileLock> try_lock(std::string_view path) override { return lock_file(path); }
  std::unique_ptr<InputFile> open_read(std::string_view path) override {
    const std::wstring native = os_path(path);
    if (native.empty()) return nullptr;
    FileHandle file(CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32InputFile>(std::move(file));
  }
};

// From Windows 10 on (NTFS), a rename with POSIX semantics replaces a file that readers hold open sharing
// deletion, which a plain MoveFileEx refuses; the flags overlay ReplaceIfExists in FILE_RENAME_INFO.
constexpr DWORD kRenameReplaceIfExists = 0x1, kRenamePosixSemantics = 0x2;
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

bool rename_replacing_open_file(const std::wstring& from, const std::wstring& to) {
  FileHandle file(CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!file) return false;
  const std::size_t name_bytes = to.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  const DWORD flags = kRenameReplaceIfExists | kRenamePosixSemantics;
  std::memcpy(buffer.data(), &flags, sizeof flags);
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, to.c_str(), name_bytes);
  return SetFileInformationByHandle(file.get(), kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size()));
}

// Where the system refuses to replace a file a reader holds open (Windows before 10, Wine), the old file
// is renamed aside first (the reader shares deletion, so renaming is allowed) and deleted once the new one
// has its name; a failure puts it back.
bool replace_beside_reader(const std::wstring& from, const std::wstring& to) {
  const std::wstring stem = to + L"." + wide(to_text(GetCurrentProcessId()) + "-");
  for (unsigned n = 1; n <= 100; ++n) {
    const std::wstring aside = stem + wide(to_text(n)) + L".old";
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
      return false;
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
      MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
      return false;
    }
    DeleteFileW(aside.c_str());  // gone once the reader closes it
    return true;
  }
  return false;
}

// The replacement's bytes are flushed by its writer; the rename is written through, by the handle's flag
// or by MoveFileEx's.
bool Win32Files::replace_with(std::string_view from, std::string_view to) {
  const std::wstring source = os_path(from), target = os_path(to);
  if (source.empty() || target.empty()) return false;
  if (rename_replacing_open_file(source, target) ||
      MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  const auto is_file = [](const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  return is_file(source) && is_file(target) && replace_beside_reader(source, target);
}

Text Win32Files::run_directory() {
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

Text Win32Files::system_directory() {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  std::wstring dir(buffer, n <= MAX_PATH ? n : 0);
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return narrow(dir) + "\\";
}

bool Win32Files::exact_exists(std::string_view path) {
  std::wstring native = os_path(path);
  if (native.empty()) return false;
  DWORD attributes = GetFileAttributesW(native.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::write(std::string_view path, const std::vector<Bytes>& parts) {
  FileHandle file = create_for_writing(path, CREATE_ALWAYS);
  if (!file) return false;
  bool ok = true;
  for (const Bytes& part : parts) ok = ok && write_all(file.get(), part.data(), part.size());
  ok = CloseHandle(file.release()) && ok;
  if (!ok) DeleteFileW(os_path(path).c_str());  // never leave a partial file behind
  return ok;
}

}  // namespace

std::unique_ptr<Files> make_win32_files() { return std::make_unique<Win32Files>(); }

}  // namespace qiwa
