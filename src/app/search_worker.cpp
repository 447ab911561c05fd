#include "app/search_worker.hpp"

#include "music/search.hpp"

namespace qiwa {

void run_search(AppContext& app, const SearchRequest& request) {
  const Catalogue* catalogue = catalogue_at(request.source_index);
  // An unselected source searches the last one again.
  const Text source = catalogue ? Text(catalogue->source) : app.current_source.get();
  if (catalogue) app.searches.run_if_current(request.stop, [&] { app.current_source.set(source); });
  std::vector<SongRow> rows = search_page(app.service, {source, catalogue, request.words, request.page});
  if (rows.empty()) return;
  MainWindow& w = app.window;
  w.invoke([&] {
    if (request.stop.stop_requested()) return;  // a newer search cleared the list; these rows belong to no one
    for (const SongRow& row : rows) {
      const int i = w.list_append_row();
      for (std::size_t c = 0; c < kCellCount; ++c)
        w.list_set_cell(i, static_cast<int>(c), row.cell(static_cast<Cell>(c)));
      app.row_sources.resize(static_cast<std::size_t>(i));  // in step with the rows, whatever came before
      app.row_sources.push_back(row.source);                // the row plays with its own catalogue
    }
  });
}

}  // namespace qiwa
