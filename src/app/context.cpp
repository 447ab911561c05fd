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
