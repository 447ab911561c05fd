#include "app/context.hpp"

#include <algorithm>

namespace qiwa {

bool DownloadRegistry::begin(const Text& part) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  parts_.push_back(part);
  return true;
}

void DownloadRegistry::end(const Text& part) {
  std::lock_guard lock(mutex_);
  std::erase(parts_, part);
}

bool DownloadRegistry::place(const Text& part, const Text& path, const std::function<bool()>& move) {
  std::lock_guard lock(mutex_);
  std::erase(parts_, part);
  if (closed_ || !move()) return false;
  if (std::find(songs_.begin(), songs_.end(), path) == songs_.end()) songs_.push_back(path);
  return true;
}

DownloadRegistry::Leftovers DownloadRegistry::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  return {std::move(parts_), std::move(songs_)};
}

std::stop_token Newest::renew() {
  std::lock_guard lock(mutex_);
  source_.request_stop();
  source_ = std::stop_source();
  if (closed_) source_.request_stop();
  return source_.get_token();
}

std::stop_token Newest::current() {
  std::lock_guard lock(mutex_);
  return source_.get_token();
}

void Newest::stop_all() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  source_.request_stop();
}

}  // namespace qiwa
