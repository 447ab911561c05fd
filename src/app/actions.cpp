#include "app/actions.hpp"

#include "app/play_worker.hpp"
#include "app/search_worker.hpp"
#include "music/song.hpp"
#include "runtime/threads.hpp"

namespace qiwa {
namespace {

// What the search thread needs, read now on the window's thread so a later click cannot change it.
void search_in_background(const std::shared_ptr<AppContext>& app, std::stop_token stop) {
  SearchRequest request;
  request.stop = std::move(stop);
  request.page = app->current_page.load();
  request.source_index = app->window.selected_item(Control::组合框1);
  request.words = app->window.text(Control::编辑框1);
  start_thread([app, request] { run_search(*app, request); });
}

Text selected_cell(MainWindow& w, int row, Cell cell) {
  return row < 0 ? Text() : w.list_cell(row, static_cast<int>(cell));
}

// The catalogue the row came from (the list may hold rows of two catalogues); the newest search's for a
// row it does not know.
Text row_source(AppContext& app, int row) {
  if (row >= 0 && static_cast<std::size_t>(row) < app.row_sources.size())
    return app.row_sources[static_cast<std::size_t>(row)];
  return app.current_source.get();
}

}  // namespace

void start_search(const std::shared_ptr<AppContext>& app) {
  app->window.list_clear();
  app->row_sources.clear();
  app->current_page = 1;
  search_in_background(app, app->searches.renew());  // supersedes every search still running
}

// Keeps the current search's token: its rows join the ones already shown.
void load_more(const std::shared_ptr<AppContext>& app) {
  ++app->current_page;
  search_in_background(app, app->searches.current());
}

void play_selected(const std::shared_ptr<AppContext>& app) {
  MainWindow& w = app->window;
  app->lyrics.stop();
  w.set_text(Control::编辑框2, "");
  w.set_taskbar_progress({});  // the bar of a download this click overtakes
  PlayRequest request;
  request.stop = app->plays.renew();  // supersedes every play still running
  request.tag = ++app->plays_started;
  const int row = w.list_selected_row();
  request.track.title = selected_cell(w, row, Cell::title);
  request.track.url_id = selected_cell(w, row, Cell::url_id);
  request.track.pic_id = selected_cell(w, row, Cell::pic_id);
  request.track.lyric_id = selected_cell(w, row, Cell::lyric_id);
  request.track.singer = selected_cell(w, row, Cell::singer);
  request.track.album = selected_cell(w, row, Cell::album);
  request.track.source = row_source(*app, row);
  start_thread([app, request] { run_play(*app, request); });
  // The sound system is readied while the first song downloads; later plays find it ready.
  if (!app->player_prepared.exchange(true)) start_thread([app] { app->platform.player.prepare(); });
}

void toggle_pause(AppContext& app) {
  if (app.window.text(Control::按钮4) == kPauseCaption) {
    app.window.set_text(Control::按钮4, kResumeCaption);
    app.platform.player.pause();
  } else {
    app.platform.player.resume();
    app.window.set_text(Control::按钮4, kPauseCaption);
  }
}

void show_list_menu(AppContext& app) { app.window.popup_list_menu(); }

}  // namespace qiwa
