#include "app/tagging.hpp"

#include "app/levelling.hpp"

namespace qiwa {

bool SongKeeping::begin_fetch() {
  std::lock_guard lock(mutex_);
  return !std::exchange(fetching_, true);
}

std::optional<SongExtras> SongKeeping::extras() const {
  std::lock_guard lock(mutex_);
  return extras_;
}

void SongKeeping::fetched(const Platform& platform, SongExtras extras) {
  std::unique_lock lock(mutex_);
  extras_ = std::move(extras);
  start_when_ready(platform, std::move(lock));
}

void SongKeeping::whole(const Platform& platform, Text path) {
  std::unique_lock lock(mutex_);
  path_ = std::move(path);
  start_when_ready(platform, std::move(lock));
}

void SongKeeping::start_when_ready(const Platform& platform, std::unique_lock<std::mutex> lock) {
  if (started_ || !extras_ || path_.empty()) return;
  started_ = true;
  auto job = [&files = platform.files, path = path_, track = track_, extras = *extras_, lrc = save_lrc_,
              measure = gain_measure(platform, path_, stop_), stop = stop_] {
    keep_song_tag(files, path, track, extras, lrc, measure, stop);
  };
  lock.unlock();
  platform.executor.run_low(std::move(job));  // a closing executor drops it: the song keeps its first tag
}

void keep_song_tag(Files& files, const Text& path, const Track& track, const SongExtras& extras, bool save_lrc,
                   const GainMeasure& measure, const std::stop_token& stop) {
  const KeptTag tagged = tag_kept_song(files, path, track, extras, measure, stop);
  if (save_lrc && (tagged == KeptTag::tagged || tagged == KeptTag::already)) write_lrc(files, path, extras.lyrics);
}

}  // namespace qiwa
