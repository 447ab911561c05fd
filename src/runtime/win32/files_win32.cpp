// File service over the wide Windows API.
#include <windows.h>

#include <cstring>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/win32/backends.hpp"
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

class Win32InputFile final : public InputFile {
 public:
  explicit Win32InputFile(FileHandle file) : file_(std::move(file)) {}
  std::optional<std::size_t> read(unsigned char* data, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), data, want, &got, nullptr)) return std::nullopt;
    return got;
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
  bool replace_file(std::string_view from, std::string_view to) override;
  std::unique_ptr<OutputFile> create_new(std::string_view path) override {
    FileHandle file = create_for_writing(path, CREATE_NEW);
    if (!file) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(file));
  }
  std::unique_ptr<InputFile> open(std::string_view path) override;
  unsigned process_id() override { return GetCurrentProcessId(); }
};

std::unique_ptr<InputFile> Win32Files::open(std::string_view path) {
  const std::wstring native = os_path(path);
  if (native.empty()) return nullptr;
  FileHandle file(CreateFileW(native.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32InputFile>(std::move(file));
}

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
  const std::wstring stem = to + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
  for (unsigned n = 1; n <= 100; ++n) {
    const std::wstring aside = stem + std::to_wstring(n) + L".old";
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
bool Win32Files::replace_file(std::string_view from, std::string_view to) {
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
