#include "app/lists.hpp"

#include "app/batch_download.hpp"
#include "app/keeping.hpp"
#include "app/listening.hpp"

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
    song.row.path = song.path;
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
  show_favourite_marks(app);
  show_download_states(app);
}

LibrarySong library_song(const SongRow& row) { return LibrarySong{row.source, row, row.path}; }

std::vector<LibrarySong> selected_songs(AppContext& app) {
  std::vector<LibrarySong> songs;
  for (int row : app.window.selected_rows())
    if (row >= 0 && row < static_cast<int>(app.rows.size())) songs.push_back(library_song(app.rows[static_cast<std::size_t>(row)]));
  return songs;
}

bool all_favourites(const AppContext& app, const std::vector<LibrarySong>& songs) {
  if (songs.empty()) return false;
  for (const LibrarySong& song : songs)
    if (!app.stores.library.is_favourite(song)) return false;
  return true;
}

// The library's list shown again as it stands now.
void reload(AppContext& app) {
  if (app.shown_list == ListKind::search) return show_favourite_marks(app);
  show(app, app.shown_list, rows_of(app.stores.library.list(library_list(app.shown_list))));
}

constexpr const char* kRemoveFilesQuestion = "同时删除文件？\n“是”：从列表删除并删除文件；“否”：只从列表删除。";

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

void open_list_menu(AppContext& app) {
  const std::vector<LibrarySong> songs = selected_songs(app);
  app.window.popup_list_menu(ListMenu{!songs.empty(), all_favourites(app, songs), app.shown_list != ListKind::search,
                                      !app.desktop_song.row.title.empty(),
                                      app.stores.settings.desktop_lyrics().translation});
}

void toggle_favourites(AppContext& app) {
  std::vector<LibrarySong> songs = selected_songs(app);
  if (songs.empty()) return;
  for (LibrarySong& song : songs) song.path.clear();  // a favourite is the song, wherever its file is
  if (app.stores.library.set_favourite(songs, !all_favourites(app, songs)) == 0) return;
  stores_changed(app);
  reload(app);
}

void remove_selected(AppContext& app) {
  const std::vector<LibrarySong> songs = selected_songs(app);
  if (songs.empty() || app.shown_list == ListKind::search) return;
  bool delete_files = false;
  if (app.shown_list == ListKind::local) {
    const int answer = app.window.message_box(kRemoveFilesQuestion, kYesNoCancel);
    if (answer != kAnswerYes && answer != kAnswerNo) return;
    delete_files = answer == kAnswerYes;
  }
  if (delete_files) {
    for (const LibrarySong& song : songs) {
      if (song.path.empty()) continue;
      if (song.path == app.current_path && app.playing_id) stop_playing(app);  // its file is let go first
      app.platform.files.remove(song.path);
    }
  }
  if (app.stores.library.remove(library_list(app.shown_list), songs) > 0) stores_changed(app);
  reload(app);
}

void show_favourite_marks(AppContext& app) {
  std::vector<bool> marks;
  marks.reserve(app.rows.size());
  for (const SongRow& row : app.rows) marks.push_back(app.stores.library.is_favourite(library_song(row)));
  app.window.mark_favourites(std::move(marks));
}

void record_played(AppContext& app) {
  const int row = app.queue.current();
  if (row < 0 || row >= static_cast<int>(app.queue_rows.size())) return;
  LibrarySong song;
  song.row = app.queue_rows[static_cast<std::size_t>(row)];
  song.source = song.row.source;
  song.path = std::move(song.row.path);
  app.stores.library.played(song);
  stores_changed(app);
}

}  // namespace qiwa
