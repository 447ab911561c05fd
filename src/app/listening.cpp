#include "app/listening.hpp"

#include "app/desktop.hpp"
#include "app/keeping.hpp"
#include "app/lists.hpp"
#include "app/playing.hpp"

namespace qiwa {
namespace {

constexpr int kFailuresBeforeStop = 3;
// The strip's time changes once a second of the song, so its tick comes just after each whole second
// rather than several times a second: each wake and repaint costs (milliseconds under Wine). The margin
// keeps a tick that comes a little early from finding the second before still there.
constexpr int kPositionMarginMs = 20;

int until_next_second(std::int64_t ms) { return static_cast<int>(1000 - (ms % 1000 + 1000) % 1000) + kPositionMarginMs; }

PlayerPosition show_position(AppContext& app) {
  const PlayerPosition at = app.platform.player.position();
  app.window.show_time(SongTime{at.ms, at.duration_ms, at.available_ms});
  return at;
}

void tick_position(AppContext& app) {
  const PlayerPosition at = show_position(app);
  app.window.start_timer(Timer::position, until_next_second(at.ms), [&app] { tick_position(app); });
}

// The song ended and none followed: the queue's next row, if the play mode has one.
void song_ended(AppContext& app) {
  follow_position(app, false);
  show_position(app);
  app.playing_id = 0;
  app.ahead_id = 0;
  app.on_ahead = nullptr;
  desktop_between_songs(app);
  if (!app.stores.settings.auto_next()) return;
  if (const std::optional<int> next = app.queue.advance()) play_row(app, *next, PlayOrigin::queue);
}

// The song set to follow took over without a gap: it is the current one now, and the one after it is
// fetched.
void took_over(AppContext& app, std::uint64_t id) {
  app.queue.advance();
  app.playing_id = id;
  app.ahead_id = 0;
  if (app.queue_in_view) app.window.mark_playing_row(app.queue.current());
  if (auto show = std::move(app.on_ahead)) show();
  app.on_ahead = nullptr;
  record_played(app);
  fetch_ahead(app);
}

void queue_event(AppContext& app, const PlayerEvent& event) {
  switch (event.kind) {
    case PlayerEvent::Kind::advanced:
      if (event.previous == app.playing_id && event.id == app.ahead_id) took_over(app, event.id);
      break;
    case PlayerEvent::Kind::drained:
      if (event.id == app.playing_id) song_ended(app);
      break;
    case PlayerEvent::Kind::open_failed:
      if (event.id == app.ahead_id) app.ahead_id = 0;  // the queue meets the row itself, and skips it
      break;
    default: break;
  }
}

void play_step(AppContext& app, std::optional<int> row) {
  if (row) play_row(app, *row, PlayOrigin::queue);
}

}  // namespace

void start_listening(AppContext& app) {
  const Settings& settings = app.stores.settings;
  app.window.set_volume(settings.volume());
  app.platform.player.set_volume(settings.volume());
  app.queue.set_mode(settings.play_mode());
  app.window.show_mode(mode_name(settings.play_mode()));
  // The one listener: what the play makes of an event (the files it keeps, the media key), then the queue.
  app.platform.player.set_listener([&app](const PlayerEvent& event) {
    app.executor.post([&app, event] {
      on_player_event(app, event);
      queue_event(app, event);
    });
  });
}

void end_listening(AppContext& app) {
  if (app.listening_ended) return;
  app.listening_ended = true;
  keep_playing_place(app);
  app.platform.player.set_listener(nullptr);
  follow_position(app, false);
}

// Without a queue (nothing played from a list yet), next and previous play the selected row.
void play_previous(AppContext& app) {
  if (app.queue.size() == 0) return play_selected(app);
  play_step(app, app.queue.step_previous());
}

void play_next(AppContext& app) {
  if (app.queue.size() == 0) return play_selected(app);
  play_step(app, app.queue.step_next());
}

// The song stops and nothing follows; a download on its way still keeps its file.
void stop_playing(AppContext& app) {
  app.plays.renew();
  app.platform.player.stop();
  app.lyrics.stop();
  follow_position(app, false);
  app.playing_id = 0;
  app.ahead_id = 0;
  app.on_ahead = nullptr;
  app.paused = false;
  app.window.set_paused(false);
  app.window.show_time({});
  app.window.set_title(kIdleTitle);
  desktop_between_songs(app);
}

void seek_to_target(AppContext& app) {
  if (!app.playing_id) return;
  app.platform.player.seek(app.window.seek_target());
  show_position(app);
  app.lyrics.tick();
  desktop_seeked(app);
}

void volume_changed(AppContext& app) {
  const int volume = app.window.volume();
  app.platform.player.set_volume(volume);
  if (app.stores.settings.volume() == volume) return;
  app.stores.settings.set_volume(volume);
  stores_changed(app);
}

void cycle_mode(AppContext& app) {
  const PlayMode mode = next_mode(app.queue.mode());
  app.queue.set_mode(mode);
  app.window.show_mode(mode_name(mode));
  app.stores.settings.set_play_mode(mode);
  stores_changed(app);
  refetch_ahead(app);  // another row follows now
}

void keep_playing_place(AppContext& app) {
  std::optional<PlayingPlace> place;
  const int row = app.queue.current();
  // A song the clean-up at exit may delete is not kept.
  if (app.playing_id && app.current_whole && !app.window.delete_on_exit() && row >= 0 &&
      row < static_cast<int>(app.queue_rows.size())) {
    const SongRow& r = app.queue_rows[static_cast<std::size_t>(row)];
    place = PlayingPlace{LibrarySong{r.source, r, app.current_path}, app.platform.player.position_ms()};
    place->song.row.path.clear();
  }
  if (app.stores.settings.playing() != place) app.stores.settings.set_playing(place);
}

void restore_playing_place(AppContext& app) {
  const std::optional<PlayingPlace> place = app.stores.settings.playing();
  if (!place || app.playing_id || !app.platform.files.exact_exists(place->song.path)) return;
  SongRow song = place->song.row;
  song.source = place->song.source;
  int at = -1;
  for (std::size_t i = 0; i < app.rows.size() && at < 0; ++i)
    if (!song.url_id.empty() && app.rows[i].url_id == song.url_id && app.rows[i].source == song.source)
      at = static_cast<int>(i);
  app.queue_in_view = at >= 0;
  app.queue_rows = at >= 0 ? app.rows : std::vector<SongRow>{song};
  if (at < 0) at = 0;
  app.queue_rows[static_cast<std::size_t>(at)].path = place->song.path;
  app.queue.start(static_cast<int>(app.queue_rows.size()), at);
  play_row(app, at, PlayOrigin::queue, StartAt{place->position_ms, true});
}

void rows_added(AppContext& app) {
  if (!app.queue_in_view || app.rows.size() <= app.queue_rows.size()) return;
  app.queue_rows.insert(app.queue_rows.end(), app.rows.begin() + static_cast<std::ptrdiff_t>(app.queue_rows.size()),
                        app.rows.end());
  const bool nothing_followed = app.queue.size() > 0 && !app.queue.peek_next();
  app.queue.grow(static_cast<int>(app.queue_rows.size()));
  if (nothing_followed) fetch_ahead(app);  // the last row plays: the new ones follow it
}

void follow_position(AppContext& app, bool on) {
  if (!on) {
    app.window.stop_timer(Timer::position);
    return;
  }
  tick_position(app);
}

void queue_row_failed(AppContext& app, std::string_view message, std::string_view title) {
  follow_position(app, false);
  if (++app.queue_failures >= kFailuresBeforeStop) {
    app.queue_failures = 0;
    app.playing_id = 0;
    app.window.set_title(kIdleTitle);
    app.window.message_box(message);
    return;
  }
  app.window.set_title(Text(message) + " " + Text(title));
  if (const std::optional<int> next = app.queue.advance()) {
    play_row(app, *next, PlayOrigin::queue);
  } else {
    app.playing_id = 0;
  }
}

}  // namespace qiwa
