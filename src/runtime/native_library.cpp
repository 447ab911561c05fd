// The redirection table of declared functions and the bounded set of libraries loaded for it.
#include "runtime/native_library.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace qiwa {
namespace {

struct Loaded {
  std::string path;
  void* library;
};

struct Binding {
  void* address;
  void* library;
};

struct Table {
  std::mutex mutex;
  LibraryHooks hooks{&os_load_library, &os_library_symbol, &os_free_library};
  std::deque<Loaded> loaded;  // oldest first
  std::map<std::string, Binding, std::less<>> bindings;

  // Frees the oldest library; redirections into it go too, so no call ever reaches freed code.
  void free_oldest() {
    void* library = loaded.front().library;
    loaded.pop_front();
    std::erase_if(bindings, [library](const auto& entry) { return entry.second.library == library; });
    hooks.free(library);
  }

  // The already loaded library under this path or handle, else nullptr.
  Loaded* find(std::string_view path, void* library) {
    auto it = std::find_if(loaded.begin(), loaded.end(),
                           [&](const Loaded& l) { return l.path == path || (library && l.library == library); });
    return it == loaded.end() ? nullptr : &*it;
  }
};

Table& table() {
  static Table t;
  return t;
}

}  // namespace

bool bind_library_function(std::string_view declared, std::string_view path, std::string_view export_name) {
  if (path.empty()) {
    reset_library_binding(declared);
    return true;
  }
  Table& t = table();
  std::lock_guard lock(t.mutex);
  void* library = nullptr;
  bool fresh = false;
  if (Loaded* known = t.find(path, nullptr)) {
    library = known->library;
  } else {
    library = t.hooks.load(path);
    if (!library) return false;
    if (Loaded* same = t.find({}, library)) {
      t.hooks.free(library);  // the same module under another name: keep one reference
      library = same->library;
    } else {
      fresh = true;
    }
  }
  void* address = export_name.empty() ? nullptr : t.hooks.symbol(library, export_name);
  if (!address) {
    if (fresh) t.hooks.free(library);
    return false;
  }
  if (fresh) {
    if (t.loaded.size() >= kMaxLoadedLibraries) t.free_oldest();
    t.loaded.push_back({std::string(path), library});
  }
  t.bindings.insert_or_assign(std::string(declared), Binding{address, library});
  return true;
}

void reset_library_binding(std::string_view declared) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  if (auto it = t.bindings.find(declared); it != t.bindings.end()) t.bindings.erase(it);
}

void* bound_function(std::string_view declared) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.bindings.find(declared);
  return it == t.bindings.end() ? nullptr : it->second.address;
}

std::size_t loaded_library_count() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.loaded.size();
}

LibraryHooks set_library_hooks(LibraryHooks hooks) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return std::exchange(t.hooks, hooks);
}

void unload_all_libraries() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  while (!t.loaded.empty()) t.free_oldest();
  t.bindings.clear();
}

}  // namespace qiwa
