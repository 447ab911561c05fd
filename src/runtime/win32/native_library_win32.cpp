// Native libraries of the Windows build: LoadLibraryW on an absolute path, exports by name or "#ordinal".
#include <windows.h>

#include <string>

#include "runtime/native_library.hpp"
#include "runtime/win32/backends.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

// Only "X:\..." and "\\server\..." are absolute; a bare name would send the loader searching.
bool is_absolute(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

// The ordinal of "#N" (1 to 65535), else 0.
unsigned ordinal_of(std::string_view text) {
  if (text.size() < 2 || text.size() > 6 || text[0] != '#') return 0;
  unsigned value = 0;
  for (char c : text.substr(1)) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= 0xFFFF ? value : 0;
}

class Win32Libraries final : public NativeLibraries {
 public:
  void* load(std::string_view path) override {
    if (!is_absolute(path) || path.find('\0') != std::string_view::npos) return nullptr;
    return reinterpret_cast<void*>(LoadLibraryW(wide(path).c_str()));
  }
  void* symbol(void* library, std::string_view name_or_ordinal) override;
  void free(void* library) override {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
  }
};

void* Win32Libraries::symbol(void* library, std::string_view name_or_ordinal) {
  if (!library || name_or_ordinal.empty()) return nullptr;
  auto module = static_cast<HMODULE>(library);
  if (name_or_ordinal[0] == '#') {
    unsigned ordinal = ordinal_of(name_or_ordinal);
    if (ordinal == 0) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)));
  }
  return reinterpret_cast<void*>(GetProcAddress(module, std::string(name_or_ordinal).c_str()));
}

}  // namespace

std::unique_ptr<NativeLibraries> make_win32_libraries() { return std::make_unique<Win32Libraries>(); }

}  // namespace qiwa
