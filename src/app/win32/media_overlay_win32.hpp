#pragma once
// The system media transport controls of the main window (Windows 10 on) as the MediaOverlay.
#include <windows.h>

#include <memory>

#include "app/media_overlay.hpp"

namespace qiwa {

class Win32MediaOverlay final : public MediaOverlay {
 public:
  // Nothing of the system's is loaded before the first song shows.
  Win32MediaOverlay(HWND window, MediaButtons buttons);
  ~Win32MediaOverlay() override;
  Win32MediaOverlay(const Win32MediaOverlay&) = delete;
  Win32MediaOverlay& operator=(const Win32MediaOverlay&) = delete;

  void show(std::string_view title, std::string_view singer, const Bytes& cover) override;
  void set_playing(bool playing) override;
  void clear() override;
  // The system's controls answered: false before the first show, and where the system has none.
  bool present() const { return controls_ != nullptr; }

 private:
  struct Controls;  // the system's objects, once loaded
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool ready();  // loads at the first call
  void show_status();

  HWND window_;
  MediaButtons buttons_;
  bool tried_ = false;
  bool showing_ = false;  // a song shows
  bool playing_ = false;
  std::unique_ptr<Controls> controls_;
};

}  // namespace qiwa
