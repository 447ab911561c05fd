#pragma once
// A sound device that plays when the test says: what is written lands on a tape in the order the
// device would sound it, play(n) sounds n more samples (giving back the buffers played through), and a
// reset drops what is queued. No thread, no clock.
#include <deque>
#include <vector>

#include "runtime/sound_device.hpp"
#include "runtime/types.hpp"

namespace qiwa::fakes {

class FakeSoundDevice : public SoundDevice {
 public:
  bool open(const PcmFormat& format) override {
    close();
    if (refuse_open_) return false;
    open_ = true;
    format_ = format;
    paused_ = false;
    played_ = 0;
    ++openings_;
    return true;
  }
  void close() override {
    if (!open_) return;
    reset();
    open_ = false;
  }
  bool write(int slot, const unsigned char* data, std::size_t size) override {
    if (!open_ || queued_[slot]) return false;
    queued_[slot] = true;
    queue_.push_back({slot, Bytes(data, data + size)});
    sizes_.push_back(size / static_cast<std::size_t>(format_.block_align));
    return true;
  }
  bool back(int slot) override { return !queued_[slot]; }
  void reset() override {
    for (const Queued& q : queue_) queued_[q.slot] = false;
    queue_.clear();
    offset_ = 0;
    played_ = 0;
    ++resets_;  // a paused device stays paused, as Windows' does
  }
  void pause() override { paused_ = true; }
  void resume() override { paused_ = false; }
  std::uint64_t played() override { return played_; }
  void set_volume(int percent) override { volume_ = percent; }
  void wait(int) override {}
  void wake() override {}

  // Sounds up to `samples` of what is queued (nothing while paused) onto the tape.
  void play(std::uint64_t samples) {
    const auto align = static_cast<std::size_t>(format_.block_align);
    while (!paused_ && samples > 0 && !queue_.empty()) {
      Queued& q = queue_.front();
      const std::size_t take = std::min<std::size_t>(samples * align, q.bytes.size() - offset_);
      tape_.insert(tape_.end(), q.bytes.begin() + static_cast<std::ptrdiff_t>(offset_),
                   q.bytes.begin() + static_cast<std::ptrdiff_t>(offset_ + take));
      offset_ += take;
      played_ += take / align;
      samples -= take / align;
      if (offset_ == q.bytes.size()) {
        queued_[q.slot] = false;
        queue_.pop_front();
        offset_ = 0;
      }
    }
  }
  void play_all() { play(~std::uint64_t(0) / 8); }

  const Bytes& tape() const { return tape_; }
  void clear_tape() { tape_.clear(); }
  std::uint64_t queued_samples() const {
    std::uint64_t n = 0;
    for (const Queued& q : queue_) n += q.bytes.size() / static_cast<std::size_t>(format_.block_align);
    return n - offset_ / static_cast<std::size_t>(format_.block_align);
  }
  const std::vector<std::size_t>& written_sizes() const { return sizes_; }  // every buffer, in samples
  bool is_open() const { return open_; }
  bool paused() const { return paused_; }
  const PcmFormat& format() const { return format_; }
  int openings() const { return openings_; }
  int resets() const { return resets_; }
  int volume() const { return volume_; }
  void refuse_open(bool refuse) { refuse_open_ = refuse; }

 private:
  struct Queued {
    int slot;
    Bytes bytes;
  };
  bool open_ = false;
  bool refuse_open_ = false;
  PcmFormat format_;
  bool paused_ = false;
  bool queued_[kSlots] = {};
  std::deque<Queued> queue_;
  std::size_t offset_ = 0;  // bytes of the front buffer already sounded
  std::uint64_t played_ = 0;
  Bytes tape_;
  std::vector<std::size_t> sizes_;
  int openings_ = 0;
  int resets_ = 0;
  int volume_ = 100;
};

}  // namespace qiwa::fakes
