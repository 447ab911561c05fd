// The media overlay where the system has none (Wine, as Windows before 10): it reports absent, and every
// call, before and after the first song, on a live window or a gone one, does nothing and calls no button.
#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/win32/media_overlay_win32.hpp"
#include "runtime/win32/handle.hpp"

namespace qiwa {
namespace {

struct MediaOverlayWin32 : ::testing::Test {
  WindowHandle window{CreateWindowExW(0, L"STATIC", L"overlay", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr)};
  std::vector<MediaButton> pressed;
  const Bytes cover{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0};

  MediaButtons buttons() {
    return [this](MediaButton b) { pressed.push_back(b); };
  }
  // Whatever the thread's queue holds is handled, as the message loop would.
  static void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
};

TEST_F(MediaOverlayWin32, WhereTheSystemHasNoneItIsAbsentAndEveryCallDoesNothing) {
  ASSERT_TRUE(window);
  Win32MediaOverlay overlay(window.get(), buttons());
  EXPECT_FALSE(overlay.present());  // nothing is loaded before the first song
  overlay.set_playing(true);
  overlay.clear();
  EXPECT_FALSE(overlay.present());
  overlay.show("晴天", "周杰伦", cover);
  EXPECT_FALSE(overlay.present());
  overlay.set_playing(false);
  overlay.show("", "", {});  // a song without title, singer or cover
  overlay.clear();
  overlay.clear();
  pump();
  EXPECT_FALSE(overlay.present());
  EXPECT_TRUE(pressed.empty());
}

TEST_F(MediaOverlayWin32, AWindowThatIsGoneOrNoneIsHarmless) {
  const HWND gone = window.get();
  window.reset();
  Win32MediaOverlay of_gone(gone, buttons());
  of_gone.show("晴天", "周杰伦", cover);
  of_gone.set_playing(true);
  of_gone.clear();
  Win32MediaOverlay of_none(nullptr, nullptr);
  of_none.show("晴天", "周杰伦", cover);
  of_none.set_playing(true);
  EXPECT_FALSE(of_gone.present());
  EXPECT_FALSE(of_none.present());
  pump();
  EXPECT_TRUE(pressed.empty());
}

}  // namespace
}  // namespace qiwa
