#include "app/context.hpp"

#include <algorithm>
#include <utility>

namespace qiwa {

bool DownloadRegistry::begin(const std::function<std::optional<Text>()>& make) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  if (std::optional<Text> part = make()) parts_.push_back(std::move(*part));
  return true;
}

void DownloadRegistry::end(const Text& part) {
  std::lock_guard lock(mutex_);
  std::erase(parts_, part);
}

bool DownloadRegistry::place(const Text& part, const std::function<Text()>& move) {
  std::lock_guard lock(mutex_);
  std::erase(parts_, part);
  if (closed_) return false;
  Text path = move();
  if (path.empty()) return false;
  if (std::find(songs_.begin(), songs_.end(), path) == songs_.end()) songs_.push_back(std::move(path));
  return true;
}

DownloadRegistry::Leftovers DownloadRegistry::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  return {std::exchange(parts_, {}), std::exchange(songs_, {})};
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
