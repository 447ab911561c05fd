#include "runtime/native_library.hpp"

#include <algorithm>

namespace qiwa {

LibraryBindings::~LibraryBindings() {
  std::lock_guard lock(mutex_);
  while (!loaded_.empty()) free_oldest();
}

// Frees the oldest library; redirections into it go too, so no call ever reaches freed code.
void LibraryBindings::free_oldest() {
  void* library = loaded_.front().library;
  loaded_.pop_front();
  std::erase_if(bindings_, [library](const auto& entry) { return entry.second.library == library; });
  loader_.free(library);
}

// The already loaded library under this path or handle, else nullptr.
LibraryBindings::Loaded* LibraryBindings::find(std::string_view path, void* library) {
  auto it = std::find_if(loaded_.begin(), loaded_.end(),
                         [&](const Loaded& l) { return l.path == path || (library && l.library == library); });
  return it == loaded_.end() ? nullptr : &*it;
}

bool LibraryBindings::bind(std::string_view declared, std::string_view path, std::string_view export_name) {
  if (path.empty()) {
    reset(declared);
    return true;
  }
  std::lock_guard lock(mutex_);
  void* library = nullptr;
  bool fresh = false;
  if (Loaded* known = find(path, nullptr)) {
    library = known->library;
  } else {
    library = loader_.load(path);
    if (!library) return false;
    if (Loaded* same = find({}, library)) {
      loader_.free(library);  // the same module under another name: keep one reference
      library = same->library;
    } else {
      fresh = true;
    }
  }
  void* address = export_name.empty() ? nullptr : loader_.symbol(library, export_name);
  if (!address) {
    if (fresh) loader_.free(library);
    return false;
  }
  if (fresh) {
    if (loaded_.size() >= kMaxLoadedLibraries) free_oldest();
    loaded_.push_back({std::string(path), library});
  }
  bindings_.insert_or_assign(std::string(declared), Binding{address, library});
  return true;
}

void LibraryBindings::reset(std::string_view declared) {
  std::lock_guard lock(mutex_);
  if (auto it = bindings_.find(declared); it != bindings_.end()) bindings_.erase(it);
}

void* LibraryBindings::bound(std::string_view declared) const {
  std::lock_guard lock(mutex_);
  auto it = bindings_.find(declared);
  return it == bindings_.end() ? nullptr : it->second.address;
}

std::size_t LibraryBindings::loaded_count() const {
  std::lock_guard lock(mutex_);
  return loaded_.size();
}

}  // namespace qiwa
