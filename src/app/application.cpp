#include "app/application.hpp"

#include "app/keeping.hpp"
#include "app/playing.hpp"
#include "app/searching.hpp"
#include "app/startup.hpp"

namespace qiwa {

void Application::on_event(WindowEvent event) {
  AppContext& app = *context_;
  switch (event) {
    case WindowEvent::created:
      on_main_window_created(app);
      listen_to_player(app);
      apply_settings(app);
      break;
    case WindowEvent::shown: load_library(app); break;
    case WindowEvent::destroying:
    case WindowEvent::session_ending:  // the process ends next, without a destroying
      on_main_window_destroying(app);
      keep_at_exit(app);
      break;
    case WindowEvent::search: start_search(app); break;
    case WindowEvent::load_more: load_more(app); break;
    case WindowEvent::play: play_selected(app); break;
    case WindowEvent::pause: toggle_pause(app); break;
    case WindowEvent::list_menu: app.window.popup_list_menu(); break;
    case WindowEvent::settings: open_settings(app); break;
  }
}

}  // namespace qiwa
