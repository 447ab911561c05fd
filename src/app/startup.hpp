#pragma once
// Start-up (skin library) and the exit clean-up.
#include <span>

#include "app/context.hpp"

namespace qiwa {

void on_main_window_created(AppContext& app);
void on_main_window_destroying(AppContext& app);

}  // namespace qiwa
