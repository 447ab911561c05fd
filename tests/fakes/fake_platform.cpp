#include "fakes/fake_platform.hpp"

#include <algorithm>
#include <cstdint>

namespace qiwa::fakes {

using Lock = std::lock_guard<std::mutex>;

void* FakeLibraries::load(std::string_view path) {
  Lock lock(mutex_);
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    if (paths_[i] != path) continue;
    loaded_.emplace_back(path);
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(i + 1));
  }
  return nullptr;
}

void* FakeLibraries::symbol(void* library, std::string_view name) {
  Lock lock(mutex_);
  const auto index = reinterpret_cast<std::uintptr_t>(library);
  if (index == 0 || index > paths_.size()) return nullptr;
  auto it = exports_.find({paths_[index - 1], Text(name)});
  return it == exports_.end() ? nullptr : it->second;
}

void FakeLibraries::free(void* library) {
  Lock lock(mutex_);
  const auto index = reinterpret_cast<std::uintptr_t>(library);
  if (index > 0 && index <= paths_.size()) freed_.push_back(paths_[index - 1]);
}

void FakeLibraries::provide(std::string_view path, std::string_view name, void* address) {
  Lock lock(mutex_);
  if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) paths_.emplace_back(path);
  if (!name.empty()) exports_[{Text(path), Text(name)}] = address;
}

std::vector<Text> FakeLibraries::loaded() const {
  Lock lock(mutex_);
  return loaded_;
}

std::vector<Text> FakeLibraries::freed() const {
  Lock lock(mutex_);
  return freed_;
}

}  // namespace qiwa::fakes
