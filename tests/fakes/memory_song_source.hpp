#pragma once
// A song file in memory that can grow, complete or fail while it is read, like a download's part file.
// It counts what is read, so tests can see that the reader keeps to its window.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "runtime/song_source.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

class MemorySongSource : public SongSource {
 public:
  explicit MemorySongSource(Bytes data = {}, SourceState state = SourceState::complete)
      : data_(std::move(data)), state_(state) {}

  std::size_t read(std::uint64_t offset, unsigned char* out, std::size_t size) override {
    std::lock_guard lock(mutex_);
    largest_read_ = std::max(largest_read_, size);
    if (offset >= data_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, data_.size() - static_cast<std::size_t>(offset));
    std::memcpy(out, data_.data() + offset, n);
    bytes_read_ += n;
    return n;
  }
  SourceState state() const override {
    std::lock_guard lock(mutex_);
    return state_;
  }
  std::uint64_t size() const override {
    std::lock_guard lock(mutex_);
    return data_.size();
  }

  void append(const unsigned char* data, std::size_t size) {
    std::lock_guard lock(mutex_);
    data_.insert(data_.end(), data, data + size);
  }
  void set_state(SourceState state) {
    std::lock_guard lock(mutex_);
    state_ = state;
  }
  std::size_t bytes_read() const {
    std::lock_guard lock(mutex_);
    return bytes_read_;
  }
  std::size_t largest_read() const {
    std::lock_guard lock(mutex_);
    return largest_read_;
  }

 private:
  mutable std::mutex mutex_;
  Bytes data_;
  SourceState state_;
  std::size_t bytes_read_ = 0;
  std::size_t largest_read_ = 0;
};

}  // namespace qiwa::fakes
