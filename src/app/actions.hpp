#pragma once
// The user actions; each returns at once, network work runs on a worker thread of its own.
#include <memory>

#include "app/context.hpp"

namespace qiwa {

void start_search(const std::shared_ptr<AppContext>& app);
void load_more(const std::shared_ptr<AppContext>& app);
void play_selected(const std::shared_ptr<AppContext>& app);
void toggle_pause(AppContext& app);
void show_list_menu(AppContext& app);

}  // namespace qiwa
