#pragma once
// Splits a fuzzer's input into a few texts and small numbers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qiwa::fuzz {

class Input {
 public:
  Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  // Bytes up to the next 0xFF separator.
  std::string piece() {
    std::size_t start = pos_;
    while (pos_ < size_ && data_[pos_] != 0xFF) ++pos_;
    std::string out(reinterpret_cast<const char*>(data_ + start), pos_ - start);
    if (pos_ < size_) ++pos_;
    return out;
  }
  std::string rest() {
    std::string out(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
    pos_ = size_;
    return out;
  }
  int number() { return pos_ < size_ ? static_cast<int8_t>(data_[pos_++]) : 0; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace qiwa::fuzz
