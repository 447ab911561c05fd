#pragma once
// The lists the results show: the search's rows, or the library's favourites, songs played and songs on
// disk. Each plays, queues and goes on like the search's rows.
#include "app/context.hpp"

namespace qiwa {

// Shows the list the user chose in the strip.
void show_chosen_list(AppContext& app);
// Back to the search's rows, before a search or a next page adds to them.
void show_search_list(AppContext& app);
// The song of the queue's current row began to play: first in the songs played.
void record_played(AppContext& app);
// The list's menu for the rows selected.
void open_list_menu(AppContext& app);
// The selected rows become favourites, or stop being ones when all of them are.
void toggle_favourites(AppContext& app);
// "从列表删除": the selected rows leave the library's list shown; a local song's file goes only when the
// user says so.
void remove_selected(AppContext& app);
// The favourites among the rows shown are marked.
void show_favourite_marks(AppContext& app);

}  // namespace qiwa
