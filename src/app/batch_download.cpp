#include "app/batch_download.hpp"

#include <algorithm>
#include <deque>
#include <map>

#include "app/levelling.hpp"
#include "app/song_files.hpp"
#include "music/catalogue.hpp"
#include "runtime/text.hpp"

namespace qiwa {

// One row's song: what its worker needs, taken on the window's thread when it was queued.
struct BatchSong {
  SongRow row;
  Track track;
  Text key;           // the song among the rows: its catalogue and id
  Text folder, name;  // where it goes, as the settings were when it was queued
  int quality = 0;    // the bit rate asked for
  ServiceClient service;
};

// The window's thread's own.
struct BatchDownloads {
  std::deque<BatchSong> waiting;
  int running = 0;
  std::map<Text, Text> states;  // by song key: what its rows show
};

namespace {

enum class Outcome {
  on_disk,  // a whole song of the track was there already
  whole,    // downloaded whole into its part file, to be put in place
  failed,
  stopped  // the window closed meanwhile
};

// A song being fetched by its worker.
struct Job {
  AppContext& app;
  const BatchSong song;
  const std::stop_token stop;
  const unsigned n;  // tells its part file from a play's
};
using JobRef = std::shared_ptr<const Job>;

Text key_of(const SongRow& row) {
  return row.source + "\n" + row.url_id;
}

// Every row of the song shows the state.
void show_state(AppContext& app, const Text& key, const Text& state) {
  for (std::size_t i = 0; i < app.rows.size(); ++i)
    if (key_of(app.rows[i]) == key)
      app.window.show_row_title(static_cast<int>(i), title_with_state(app.rows[i].title, state));
  app.batch->states[key] = state;
}

// The song's state as its rows show it now, from a worker; nothing once the window is closing.
void post_state(const JobRef& job, Text state) {
  job->app.executor.post([job, state = std::move(state)] {
    if (!job->stop.stop_requested()) show_state(job->app, job->song.key, state);
  });
}

// On a worker: a song on disk is done; otherwise its address is asked and it is downloaded into a part
// file beside its name, after the program's tag, the rows showing its percent as it comes. `part_path`:
// the part file, or the whole song of the track saved before.
Outcome fetch(const JobRef& job, Text& part_path) {
  const BatchSong& s = job->song;
  Files& files = job->app.platform.files;
  if (!s.row.path.empty() && files.exact_exists(s.row.path)) return Outcome::on_disk;
  const SongPlace found = find_song_place(files, s.folder, s.name, s.track);
  if (!found.saved.empty()) {
    part_path = found.saved;
    return Outcome::on_disk;
  }
  if (found.free.empty()) return Outcome::failed;  // every name is taken
  const Catalogue* catalogue = catalogue_named(s.track.source);
  const SongAddress address = resolve_track(s.service, s.track, s.quality, catalogue && catalogue->ask_m500);
  if (job->stop.stop_requested()) return Outcome::stopped;
  if (address.url.empty()) return Outcome::failed;
  bool closing = false;
  std::optional<PartFile> part = begin_part_file(job->app, s.folder, s.name, job->n, closing);
  if (closing) return Outcome::stopped;
  if (!part) return Outcome::failed;
  part_path = part->path;
  int shown = -1;
  const Fetched got = download_to_part(
      job->app.platform.downloader, files, address.url, *part, song_tag(s.track), job->stop,
      [&](const Mp3Sniffer&, std::uint64_t written, std::optional<std::uint64_t> length) {
        if (!length || *length == 0) return;
        const int percent = static_cast<int>(std::min<std::uint64_t>(written * 100 / *length, 99));
        if (percent == shown) return;
        shown = percent;
        post_state(job, to_text(static_cast<long long>(percent)) + "%");
      });
  if (got == Fetched::whole) return Outcome::whole;
  return got == Fetched::stopped ? Outcome::stopped : Outcome::failed;
}

void start_waiting(AppContext& app);

// On the window's thread: the song's download is over; a whole one is put in place, and the next waiting
// song starts.
void ended(const JobRef& job, Outcome outcome, const Text& part) {
  AppContext& app = job->app;
  --app.batch->running;
  const Text& key = job->song.key;
  switch (outcome) {
    case Outcome::whole: {
      const Text placed = place_download(app, part, job->song.folder, job->song.name, job->song.row);
      if (!placed.empty()) level_kept_song(app, placed, job->song.track);
      show_state(app, key, placed.empty() ? kBatchFailed : kBatchDone);
      break;
    }
    case Outcome::on_disk:
      if (!part.empty()) level_kept_song(app, part, job->song.track);  // measured before: nothing to do
      show_state(app, key, kBatchDone);
      break;
    case Outcome::failed:
      if (!part.empty()) app.downloads.end(part);  // download_to_part removed it
      show_state(app, key, kBatchFailed);
      break;
    case Outcome::stopped:
      if (!part.empty()) app.downloads.end(part);
      break;
  }
  start_waiting(app);
}

// As many waiting songs start as may run at once, unless the window is closing.
void start_waiting(AppContext& app) {
  BatchDownloads& batch = *app.batch;
  const std::stop_token stop = app.batches.current();
  while (batch.running < kBatchDownloadsAtOnce && !batch.waiting.empty() && !stop.stop_requested()) {
    auto job =
        std::make_shared<const Job>(Job{app, std::move(batch.waiting.front()), stop, ++app.plays_started});
    batch.waiting.pop_front();
    ++batch.running;
    const bool started = app.executor.run([job] {
      Text part;
      const Outcome outcome = fetch(job, part);
      job->app.executor.post([job, outcome, part] { ended(job, outcome, part); });
    });
    if (!started) {
      --batch.running;
      show_state(app, job->song.key, kBatchFailed);
    }
  }
}

}  // namespace

Text title_with_state(std::string_view title, std::string_view state) {
  return "[" + Text(state) + "] " + Text(title);
}

void download_selected(AppContext& app) {
  if (!app.batch) app.batch = std::make_shared<BatchDownloads>();
  BatchDownloads& batch = *app.batch;
  const Text folder = songs_folder(app);
  const NamePattern pattern = app.stores.settings.name_pattern();
  const int quality = app.stores.settings.quality_kbps();
  for (int index : app.window.selected_rows()) {
    if (index < 0 || index >= static_cast<int>(app.rows.size())) continue;
    const SongRow& row = app.rows[static_cast<std::size_t>(index)];
    Text key = key_of(row);
    const auto known = batch.states.find(key);
    if (known != batch.states.end() && known->second != kBatchDone && known->second != kBatchFailed) continue;
    Track track = track_of(row);
    Text name = song_name(track, pattern);
    batch.waiting.push_back(
        BatchSong{row, std::move(track), key, folder, std::move(name), quality, app.service});
    show_state(app, key, kBatchWaiting);
  }
  start_waiting(app);
}

void show_download_states(AppContext& app) {
  if (!app.batch) return;
  for (std::size_t i = 0; i < app.rows.size(); ++i) {
    const auto state = app.batch->states.find(key_of(app.rows[i]));
    if (state != app.batch->states.end())
      app.window.show_row_title(static_cast<int>(i), title_with_state(app.rows[i].title, state->second));
  }
}

}  // namespace qiwa
