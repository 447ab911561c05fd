#pragma once
// Loudness levelling: a kept song's replay gain is measured once its file is whole (on a worker at low
// priority, stopped at exit), stored in its tag with the rest of the tag, and given to the player from
// the next play on when "音量均衡" is ticked.
#include <stop_token>

#include "app/context.hpp"
#include "music/kept_tag.hpp"

namespace qiwa {

// On a worker: the replay gain of the song at `path`, decoded by a codec of the platform's own; none for
// silence, a file no codec decodes, or a raised `stop`.
std::optional<ReplayGain> measure_gain(const Platform& platform, const Text& path, const std::stop_token& stop);
// The same, as the tag's rewrite asks for it.
GainMeasure gain_measure(const Platform& platform, Text path, std::stop_token stop);

// A "下载选中" song whole under its name: the program's tag in it gets its replay gain, unless it has
// one. Runs on a low-priority worker; nothing once the window is closing.
void level_kept_song(AppContext& app, const Text& path, const Track& track);

// The song plays levelled when the settings ask for it and its file's tag carries a replay gain; as it
// is otherwise.
void apply_gain(AppContext& app, Song& song);

}  // namespace qiwa
