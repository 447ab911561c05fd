#include "app/context.hpp"

namespace qiwa {

bool DownloadRegistry::add(const Text& path) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  for (const Text& p : paths_)
    if (p == path) return true;
  paths_.push_back(path);
  return true;
}

std::vector<Text> DownloadRegistry::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  return std::move(paths_);
}

}  // namespace qiwa
