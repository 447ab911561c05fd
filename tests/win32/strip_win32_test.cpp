// The strip's time while a song plays: a tick that finds the same second sends its controls nothing (a
// control told anything repaints), a new second moves the text and the seek bar once each.
#include <windows.h>
#include <gtest/gtest.h>

#include <commctrl.h>

#include <map>

#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

// What each control was told, counted by message.
using Told = std::map<UINT, int>;

LRESULT CALLBACK counting(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR told) {
  if (msg == WM_SETTEXT || (msg >= WM_USER && msg < WM_USER + 0x100)) ++(*reinterpret_cast<Told*>(told))[msg];
  return DefSubclassProc(hwnd, msg, wp, lp);
}

class StripWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 800, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent_);
    parts_.hwnd = parent_;
    parts_.instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(create_strip(parent_, parts_));
    SetWindowSubclass(bar(), counting, 1, reinterpret_cast<DWORD_PTR>(&bar_told_));
    SetWindowSubclass(text(), counting, 1, reinterpret_cast<DWORD_PTR>(&text_told_));
  }
  void TearDown() override {
    RemoveWindowSubclass(bar(), counting, 1);
    RemoveWindowSubclass(text(), counting, 1);
    DestroyWindow(parent_);
  }
  HWND bar() const { return parts_.control(StripRole::seek); }
  HWND text() const { return parts_.control(StripRole::time); }
  std::wstring shown() const {
    wchar_t t[64] = {};
    GetWindowTextW(text(), t, 64);
    return t;
  }
  int changes() {
    int n = text_told_[WM_SETTEXT] + bar_told_[TBM_SETPOS] + bar_told_[TBM_SETRANGEMAX] + bar_told_[TBM_SETSEL];
    text_told_.clear();
    bar_told_.clear();
    return n;
  }

  HWND parent_ = nullptr;
  WindowParts parts_;
  Told bar_told_, text_told_;
};

TEST_F(StripWin32, OnlyWhatChangedIsSentToTheControls) {
  strip_show_time(parts_, SongTime{61'000, 240'000, 120'000});
  EXPECT_EQ(shown(), L"1:01 / 4:00");
  EXPECT_EQ(SendMessageW(bar(), TBM_GETPOS, 0, 0), 61);
  EXPECT_EQ(SendMessageW(bar(), TBM_GETRANGEMAX, 0, 0), 240);
  EXPECT_EQ(SendMessageW(bar(), TBM_GETSELEND, 0, 0), 120);
  changes();
  strip_show_time(parts_, SongTime{61'700, 240'000, 120'000});  // the same second: nothing to draw
  EXPECT_EQ(changes(), 0);
  strip_show_time(parts_, SongTime{62'020, 240'000, 120'000});  // the next: the text and the thumb
  EXPECT_EQ(shown(), L"1:02 / 4:00");
  EXPECT_EQ(text_told_[WM_SETTEXT], 1);
  EXPECT_EQ(bar_told_[TBM_SETPOS], 1);
  EXPECT_EQ(changes(), 2);
  strip_show_time(parts_, SongTime{62'500, 240'000, 130'000});  // more has arrived: the selection alone
  EXPECT_EQ(bar_told_[TBM_SETSEL], 1);
  EXPECT_EQ(changes(), 1);
}

TEST_F(StripWin32, ABarMovedByTheUserIsPutBackToThePlaceHeard) {
  strip_show_time(parts_, SongTime{61'000, 240'000, 240'000});
  SendMessageW(bar(), TBM_SETPOS, TRUE, 10);  // a key or a click moved the thumb; the seek went nowhere
  strip_show_time(parts_, SongTime{61'300, 240'000, 240'000});
  EXPECT_EQ(SendMessageW(bar(), TBM_GETPOS, 0, 0), 61);
}

}  // namespace
}  // namespace qiwa
