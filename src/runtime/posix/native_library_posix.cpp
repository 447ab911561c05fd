// Native libraries of the host build through dlopen; ELF has no ordinals.
#include <dlfcn.h>

#include <string>

#include "runtime/native_library.hpp"
#include "runtime/posix/files_posix.hpp"

namespace qiwa {

void* os_load_library(std::string_view path) {
  std::string host = host_path(path);
  if (host.empty() || host.front() != '/') return nullptr;  // no search of the library path
  return ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* os_library_symbol(void* library, std::string_view name_or_ordinal) {
  if (!library || name_or_ordinal.empty() || name_or_ordinal.front() == '#') return nullptr;
  return ::dlsym(library, std::string(name_or_ordinal).c_str());
}

void os_free_library(void* library) {
  if (library) ::dlclose(library);
}

}  // namespace qiwa
