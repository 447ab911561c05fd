#pragma once
// Native libraries loaded by path, and the run-time binding of a declared function to one of their exports.
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "runtime/types.hpp"

namespace qiwa {

// The system's loader; one backend per platform.
class NativeLibraries {
 public:
  virtual ~NativeLibraries() = default;
  // An absolute path only (a bare name would send the loader searching); nullptr when it does not load.
  virtual void* load(std::string_view path) = 0;
  // The export by name or "#ordinal"; nullptr when there is none.
  virtual void* symbol(void* library, std::string_view name_or_ordinal) = 0;
  virtual void free(void* library) = 0;
};

inline constexpr std::size_t kMaxLoadedLibraries = 20;

// Declared functions redirected to exports of libraries loaded for them. At most kMaxLoadedLibraries
// stay loaded; loading another frees the oldest, and the redirections into it go with it. Thread-safe.
class LibraryBindings {
 public:
  explicit LibraryBindings(NativeLibraries& loader) : loader_(loader) {}
  ~LibraryBindings();  // frees every library loaded here
  LibraryBindings(const LibraryBindings&) = delete;
  LibraryBindings& operator=(const LibraryBindings&) = delete;

  // Loads the library (absolute path) and binds `declared` to its export (name or "#ordinal"). An empty path
  // removes the redirection and gives true.
  bool bind(std::string_view declared, std::string_view path, std::string_view export_name);
  // Removes the redirection of `declared`; the library itself stays loaded.
  void reset(std::string_view declared);
  // The bound address, or nullptr when `declared` is not redirected.
  void* bound(std::string_view declared) const;
  std::size_t loaded_count() const;

 private:
  struct Loaded {
    std::string path;
    void* library;
  };
  struct Binding {
    void* address;
    void* library;
  };
  void free_oldest();
  Loaded* find(std::string_view path, void* library);

  NativeLibraries& loader_;
  mutable std::mutex mutex_;
  std::deque<Loaded> loaded_;  // oldest first
  std::map<std::string, Binding, std::less<>> bindings_;
};

}  // namespace qiwa
