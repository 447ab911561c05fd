#pragma once
// A media overlay that keeps what it shows: the song (or nothing), whether it plays, and every song shown.
#include <optional>
#include <vector>

#include "app/media_overlay.hpp"

namespace qiwa::fakes {

struct OverlaySong {
  Text title, singer;
  Bytes cover;
  bool operator==(const OverlaySong&) const = default;
};

class FakeMediaOverlay : public MediaOverlay {
 public:
  void show(std::string_view title, std::string_view singer, const Bytes& cover) override {
    song_ = OverlaySong{Text(title), Text(singer), cover};
    shown_.push_back(*song_);
  }
  void set_playing(bool playing) override { playing_ = playing; }
  void clear() override {
    song_.reset();
    playing_ = false;
  }

  const std::optional<OverlaySong>& song() const { return song_; }  // none: nothing shows
  bool playing() const { return playing_; }
  const std::vector<OverlaySong>& shown() const { return shown_; }  // every song shown, in order

 private:
  std::optional<OverlaySong> song_;
  bool playing_ = false;
  std::vector<OverlaySong> shown_;
};

}  // namespace qiwa::fakes
