#include "app/application.hpp"

#include "app/batch_download.hpp"
#include "app/desktop.hpp"
#include "app/keeping.hpp"
#include "app/listening.hpp"
#include "app/lists.hpp"
#include "app/playing.hpp"
#include "app/searching.hpp"
#include "app/startup.hpp"

namespace qiwa {

void Application::on_event(WindowEvent event) {
  AppContext& app = *context_;
  switch (event) {
    case WindowEvent::created:
      on_main_window_created(app);
      apply_settings(app);
      start_listening(app);
      start_desktop(app);
      break;
    case WindowEvent::shown: load_library(app); break;
    case WindowEvent::destroying:
    case WindowEvent::session_ending:  // the process ends next, without a destroying
      end_listening(app);
      on_main_window_destroying(app);
      keep_at_exit(app);
      break;
    case WindowEvent::search: start_search(app); break;
    case WindowEvent::load_more: load_more(app); break;
    case WindowEvent::play: play_selected(app); break;
    case WindowEvent::download_rows: download_selected(app); break;
    case WindowEvent::pause: toggle_pause(app); break;
    case WindowEvent::list_menu: open_list_menu(app); break;
    case WindowEvent::favourite: toggle_favourites(app); break;
    case WindowEvent::remove_rows: remove_selected(app); break;
    case WindowEvent::desktop_lyrics: toggle_desktop_lyrics(app); break;
    case WindowEvent::desktop_lock: toggle_desktop_lock(app); break;
    case WindowEvent::lyrics_earlier: nudge_lyrics(app, kNudgeStepMs); break;
    case WindowEvent::lyrics_later: nudge_lyrics(app, -kNudgeStepMs); break;
    case WindowEvent::translation: toggle_translation(app); break;
    case WindowEvent::settings: open_settings(app); break;
    case WindowEvent::previous: play_previous(app); break;
    case WindowEvent::next: play_next(app); break;
    case WindowEvent::stop: stop_playing(app); break;
    case WindowEvent::seek: seek_to_target(app); break;
    case WindowEvent::volume: volume_changed(app); break;
    case WindowEvent::mode: cycle_mode(app); break;
    case WindowEvent::list_chosen: show_chosen_list(app); break;
  }
}

}  // namespace qiwa
