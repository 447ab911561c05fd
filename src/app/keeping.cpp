#include "app/keeping.hpp"

#include "app/listening.hpp"
#include "app/lists.hpp"
#include "app/playing.hpp"

#include "app/layout.hpp"
#include "app/settings_form.hpp"
#include "app/song_files.hpp"
#include "app/stores.hpp"
#include "music/library.hpp"
#include "music/track.hpp"

namespace qiwa {
namespace {

constexpr int kWriteCheckMs = 1000;

void show_store_message(AppContext& app) {
  const Text message = app.stores.take_message();
  if (!message.empty()) app.window.set_title(message);
}

// One write at a time, on a worker: a click never waits for the disk.
void write_due(AppContext& app) {
  if (!app.stores.dirty()) {
    app.window.stop_timer(Timer::stores);
    return;
  }
  if (app.store_writing) return;
  const std::int64_t now = app.platform.clock.now_ms();
  app.store_writing = app.executor.run([&app, now] {
    app.stores.flush_due(now);
    app.executor.post([&app] {
      app.store_writing = false;
      show_store_message(app);
    });
  });
}

}  // namespace

void apply_settings(AppContext& app) {
  const Settings& settings = app.stores.settings;
  if (settings.catalogue() >= 0) app.window.choose_catalogue(settings.catalogue());
  if (auto place = settings.window_place()) app.window.move_to(ScreenPoint{place->x, place->y});
  show_store_message(app);
}

// The last run's search comes back as it was left: its words and its rows, unless the user began
// another meanwhile.
void restore_last_search(AppContext& app) {
  SearchSnapshot last = app.stores.library.last_search();
  if (last.rows.empty() || !app.rows.empty() || app.current_page != 0) return;
  for (SongRow& row : last.rows)
    if (row.source.empty()) row.source = last.source;
  app.window.set_search_words(last.words);
  app.window.add_rows(last.rows);
  app.rows = std::move(last.rows);
  app.current_source = last.source;
  app.current_page = last.page;
  show_favourite_marks(app);
}

void load_library(AppContext& app) {
  const Text folder = app.run_directory;
  const Text songs = songs_folder(app);
  app.executor.run([&app, folder, songs] {
    // What a killed run left beside the songs (this run's own files are never among them).
    remove_song_leftovers(app.platform.files, songs);
    if (songs != folder) remove_song_leftovers(app.platform.files, folder);
    app.stores.library.load();
    app.stores.library.refresh_local(folder);
    app.executor.post([&app] {
      restore_last_search(app);
      restore_playing_place(app);
      show_store_message(app);
      stores_changed(app);  // what reading it set aside or merged is written back
    });
  });
}

void stores_changed(AppContext& app) {
  if (app.stores.dirty()) app.window.start_timer(Timer::stores, kWriteCheckMs, [&app] { write_due(app); });
}

void open_settings(AppContext& app) {
  Settings& settings = app.stores.settings;
  Files& files = app.platform.files;
  std::optional<SettingsForm> kept = app.window.edit_settings(
      read_form(settings), [&files](SettingsForm form) { return check_form(std::move(form), files); },
      app.keys_note);
  const Text service = settings.service();
  if (!kept || !apply_form(settings, *kept)) return;
  if (settings.service() != service) app.service.host = settings.service();  // else a --service run keeps its own
  app.window.set_close_to_tray(settings.close_to_tray());
  stores_changed(app);
  refetch_ahead(app);  // playing on may have been turned on or off
}

void keep_at_exit(AppContext& app) {
  Settings& settings = app.stores.settings;
  if (auto at = app.window.position()) {
    // Its size is the layout's, whatever is kept: only the place is the user's.
    const WindowPlace place{at->x, at->y, kWindowRect.width, kWindowRect.height};
    if (settings.window_place() != place) settings.set_window_place(place);
  }
  app.window.stop_timer(Timer::stores);
  app.stores.flush(app.platform.clock.now_ms());
}

}  // namespace qiwa
