#include "app/levelling.hpp"

#include "music/retag.hpp"
#include "runtime/song_loudness.hpp"

namespace qiwa {
namespace {

// The replay gain sits among the tag's texts, in front of its cover: the first bytes hold it.
constexpr std::size_t kGainRead = 64 * 1024;

}  // namespace

std::optional<ReplayGain> measure_gain(const Platform& platform, const Text& path, const std::stop_token& stop) {
  const std::optional<Loudness> loudness = measure_song_file(platform.files, path, platform.codecs, stop);
  if (!loudness) return std::nullopt;
  return replay_gain(*loudness);
}

GainMeasure gain_measure(const Platform& platform, Text path, std::stop_token stop) {
  return [platform, path = std::move(path), stop = std::move(stop)] { return measure_gain(platform, path, stop); };
}

void level_kept_song(AppContext& app, const Text& path, const Track& track) {
  const std::stop_token stop = app.levels.current();
  if (stop.stop_requested()) return;
  app.executor.run_low([platform = app.platform, path, track, stop] {
    const std::optional<SongTag> before = read_file_tag(platform.files, path, kMaxWholeTagRead);
    if (!before || !is_tag_of(*before, track) || before->gain_db) return;  // a user's file, or measured
    const std::optional<ReplayGain> gain = measure_gain(platform, path, stop);
    if (!gain || stop.stop_requested()) return;
    SongTag tag = *before;
    tag.gain_db = gain->gain_db;
    tag.peak = gain->peak;
    retag_song(platform.files, path, tag);  // a failure leaves the song as it was, measured again later
  });
}

void apply_gain(AppContext& app, Song& song) {
  song.gain_db = 0;
  song.peak = 0;
  if (!app.stores.settings.level_loudness() || song.path.empty()) return;
  const std::optional<SongTag> tag = read_file_tag(app.platform.files, song.path, kGainRead);
  if (!tag || !tag->gain_db) return;
  song.gain_db = *tag->gain_db;
  song.peak = tag->peak.value_or(0);
}

}  // namespace qiwa
