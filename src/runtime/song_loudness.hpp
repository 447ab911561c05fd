#pragma once
// A whole song file's loudness: its frames decoded a piece at a time through a codec of its own (never
// the player's) and fed to the meter, so memory stays small whatever the song's length.
#include <optional>
#include <stop_token>
#include <string_view>

#include "runtime/files.hpp"
#include "runtime/loudness.hpp"
#include "runtime/mp3_codec.hpp"

namespace qiwa {

// None when the file cannot be read, holds no MP3 song, no codec takes it, or `stop` was raised part way
// (a measure cut short is no figure).
std::optional<Loudness> measure_song_file(Files& files, std::string_view path, const Mp3Codecs& codecs,
                                          const std::stop_token& stop = {});

}  // namespace qiwa
