#include "app/actions.hpp"

#include "music/play.hpp"
#include "music/search.hpp"
#include "runtime/threads.hpp"

namespace qiwa {
namespace {

constexpr const char* kPauseCaption = "暂停播放";
constexpr const char* kResumeCaption = "继续播放";

// What the search thread needs, read now on the window's thread so a later click cannot change it.
void run_search(const std::shared_ptr<AppContext>& app, unsigned generation) {
  SearchRequest request;
  request.generation = generation;
  request.page = app->current_page.load();
  request.source_index = app->window.selected_item(Control::组合框1);
  request.words = app->window.text(Control::编辑框1);
  start_thread([app, request] { search_songs(*app, request); });
}

}  // namespace

void start_search(const std::shared_ptr<AppContext>& app) {
  app->window.list_clear();
  app->current_page = 1;
  run_search(app, ++app->search_generation);  // supersedes every search still running
}

// Keeps the current search's generation: its rows join the ones already shown.
void load_more(const std::shared_ptr<AppContext>& app) {
  ++app->current_page;
  run_search(app, app->search_generation.load());
}

void play_selected(const std::shared_ptr<AppContext>& app) {
  MainWindow& w = app->window;
  w.set_text(Control::编辑框2, "");
  PlayRequest request;
  request.generation = ++app->play_generation;  // supersedes every play still running
  int row = w.list_selected_row();
  if (row >= 0) {
    request.title = w.list_cell(row, 3);
    request.url_id = w.list_cell(row, 0);
    request.pic_id = w.list_cell(row, 1);
    request.lyric_id = w.list_cell(row, 2);
  }
  request.source = app->current_source.get();
  start_thread([app, request] { download_and_play(*app, request); });
}

void toggle_pause(AppContext& app) {
  if (app.window.text(Control::按钮4) == kPauseCaption) {
    app.window.set_text(Control::按钮4, kResumeCaption);
    app.player.pause();
  } else {
    app.player.resume();
    app.window.set_text(Control::按钮4, kPauseCaption);
  }
}

void show_list_menu(AppContext& app) { app.window.popup_list_menu(); }

}  // namespace qiwa
