#pragma once
// Where the program's songs go, for a play and for "下载选中" alike: the folder and the name the settings
// give, and a whole download put in place there.
#include "app/context.hpp"
#include "app/settings.hpp"
#include "music/track.hpp"

namespace qiwa {

// The songs' folder the settings name, else the program's own.
Text songs_folder(const AppContext& app);
// The song's file name, without ".mp3", as the settings' pattern has it.
Text song_name(const Track& track, NamePattern pattern);
// Makes a new part file beside the song's name (`n` tells it from another download's) and registers it
// for the exit's clean-up in the same step; nothing when the window is closing (`closing`) or the folder
// takes no new file.
std::optional<PartFile> begin_part_file(AppContext& app, const Text& folder, const Text& name, unsigned n,
                                        bool& closing);
// On the window's thread: the whole part file takes the first free name of `name` in `folder`, never a
// file's that is there, and the song becomes one of this run's downloads and of the songs on disk; once
// the window is closing the part file goes instead. The song's path; empty when it was not placed.
Text place_download(AppContext& app, const Text& part, const Text& folder, const Text& name,
                    const SongRow& row);

}  // namespace qiwa
