#pragma once
// What the program keeps across runs: the settings and the library, read at start, written in batches
// (at most once a second, on a worker, while they have changes) and at exit.
#include "app/context.hpp"

namespace qiwa {

// Before the window shows: what the settings say of the window (its catalogue, its place), and a damaged
// file's message in the title.
void apply_settings(AppContext& app);
// After the window shows: on a worker, a killed run's temporaries beside the songs are removed and the
// library is read; its lists are filled when it is in.
void load_library(AppContext& app);
// A store changed: its write is due within a second.
void stores_changed(AppContext& app);
// The settings dialog; what the user keeps takes effect at once (the next request goes to a new
// service address) and is written like every change.
void open_settings(AppContext& app);
// At exit and at the end of the session: the window's place, then every change written now.
void keep_at_exit(AppContext& app);

}  // namespace qiwa
