#include "app/lists.hpp"

#include "app/keeping.hpp"

namespace qiwa {
namespace {

LibraryList library_list(ListKind kind) {
  switch (kind) {
    case ListKind::favourites: return LibraryList::favourites;
    case ListKind::recent: return LibraryList::history;
    default: return LibraryList::local;
  }
}

// A library entry as a row of the results: the catalogue it came from rides in the row.
std::vector<SongRow> rows_of(const SongList& list) {
  std::vector<SongRow> rows;
  rows.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    LibrarySong song = list.song(i);
    song.row.source = song.source;
    rows.push_back(std::move(song.row));
  }
  return rows;
}

void show(AppContext& app, ListKind kind, std::vector<SongRow> rows) {
  app.window.clear_rows();
  app.window.add_rows(rows);
  app.rows = std::move(rows);
  app.shown_list = kind;
  app.queue_in_view = false;  // the queue keeps the list it was made from
  app.window.mark_playing_row(-1);
}

}  // namespace

void show_chosen_list(AppContext& app) {
  const ListKind kind = app.window.chosen_list();
  if (kind == app.shown_list) return;
  if (kind == ListKind::search) return show_search_list(app);
  if (app.shown_list == ListKind::search) app.search_rows = std::move(app.rows);
  show(app, kind, rows_of(app.stores.library.list(library_list(kind))));
}

void show_search_list(AppContext& app) {
  app.window.show_list(ListKind::search);
  if (app.shown_list == ListKind::search) return;
  show(app, ListKind::search, std::move(app.search_rows));
  app.search_rows.clear();
}

void record_played(AppContext& app) {
  const int row = app.queue.current();
  if (row < 0 || row >= static_cast<int>(app.queue_rows.size())) return;
  LibrarySong song;
  song.row = app.queue_rows[static_cast<std::size_t>(row)];
  song.source = song.row.source;
  app.stores.library.played(song);
  stores_changed(app);
}

}  // namespace qiwa
