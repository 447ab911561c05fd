#pragma once
// Run-time binding of a declared function to an export of a library loaded by path.
#include "runtime/types.hpp"

namespace qiwa {

// Loads the library (absolute path) and binds `declared` to its export (name or "#ordinal").
// At most kMaxLoadedLibraries stay loaded; loading another frees the oldest.
bool bind_library_function(std::string_view declared, std::string_view path, std::string_view export_name);
// Removes the redirection of `declared`; the library itself stays loaded.
void reset_library_binding(std::string_view declared);
// The bound address, or nullptr when `declared` is not redirected.
void* bound_function(std::string_view declared);
std::size_t loaded_library_count();
inline constexpr std::size_t kMaxLoadedLibraries = 20;

// OS hooks, one backend per build.
void* os_load_library(std::string_view path);
void* os_library_symbol(void* library, std::string_view name_or_ordinal);
void os_free_library(void* library);

// The hooks in use (the os_* functions unless a test swapped in others); returns the previous set.
struct LibraryHooks {
  void* (*load)(std::string_view path);
  void* (*symbol)(void* library, std::string_view name_or_ordinal);
  void (*free)(void* library);
};
LibraryHooks set_library_hooks(LibraryHooks hooks);
// Frees every library loaded here and drops every redirection.
void unload_all_libraries();

}  // namespace qiwa
