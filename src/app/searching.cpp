#include "app/searching.hpp"

#include "app/batch_download.hpp"
#include "app/keeping.hpp"
#include "app/listening.hpp"
#include "app/lists.hpp"
#include "music/search.hpp"

namespace qiwa {
namespace {

// Adds the rows unless a newer search cleared the results meanwhile: then they belong to no one. The
// search as it stands is kept for the next start.
void show_rows(AppContext& app, const std::stop_token& stop, const SearchQuery& query, std::vector<SongRow> rows) {
  if (stop.stop_requested() || rows.empty()) return;
  if (app.shown_list != ListKind::search) {  // the user looks at another list: the rows wait for them
    app.search_rows.insert(app.search_rows.end(), rows.begin(), rows.end());
    app.stores.library.set_last_search(query.source, query.words, query.page, app.search_rows);
    stores_changed(app);
    return;
  }
  app.window.add_rows(rows);
  app.rows.insert(app.rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  rows_added(app);
  show_favourite_marks(app);
  show_download_states(app);
  app.stores.library.set_last_search(query.source, query.words, query.page, app.rows);
  stores_changed(app);
}

// What the worker needs is read now, on the window's thread, so a later click cannot change it. A search
// with no catalogue chosen asks the last one again.
void search_in_background(AppContext& app, std::stop_token stop) {
  const int chosen = app.window.chosen_catalogue();
  const Catalogue* catalogue = catalogue_at(chosen);
  if (catalogue) {
    app.current_source = catalogue->source;
    if (app.stores.settings.catalogue() != chosen) app.stores.settings.set_catalogue(chosen);
  }
  SearchQuery query{app.current_source, catalogue, app.window.search_words(), app.current_page};
  app.executor.run([&app, service = app.service, query = std::move(query), stop = std::move(stop)] {
    std::vector<SongRow> rows = search_page(service, query);
    app.executor.post([&app, stop, query, rows = std::move(rows)]() mutable {
      show_rows(app, stop, query, std::move(rows));
    });
  });
}

}  // namespace

void start_search(AppContext& app) {
  show_search_list(app);
  app.queue_in_view = false;  // the queue keeps the list it was made from
  app.window.mark_playing_row(-1);
  app.window.clear_rows();
  app.rows.clear();
  app.current_page = 1;
  search_in_background(app, app.searches.renew());  // supersedes every search still running
}

// Keeps the current search's token: its rows join the ones already shown.
void load_more(AppContext& app) {
  show_search_list(app);
  ++app.current_page;
  search_in_background(app, app.searches.current());
}

}  // namespace qiwa
