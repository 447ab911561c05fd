#include "app/application.hpp"

#include "app/actions.hpp"
#include "app/startup.hpp"

namespace qiwa {

void Application::on_event(WindowEvent event) {
  switch (event) {
    case WindowEvent::created: on_main_window_created(*context_); break;
    case WindowEvent::destroying:
    case WindowEvent::session_ending: on_main_window_destroying(*context_); break;
    case WindowEvent::search_clicked:
    case WindowEvent::search_enter: start_search(context_); break;
    case WindowEvent::load_more: load_more(context_); break;
    case WindowEvent::play_clicked:
    case WindowEvent::menu_play: play_selected(context_); break;
    case WindowEvent::pause_clicked: toggle_pause(*context_); break;
    case WindowEvent::list_right_click: show_list_menu(*context_); break;
  }
}

}  // namespace qiwa
