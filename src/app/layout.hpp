#pragma once
// The main window's fixed layout: texts, geometry, columns, source choices and the context menu.
// Plain data, so the backend builds the window from it and tests can check it.
#include <span>

#include "app/main_window.hpp"

namespace qiwa {

enum class ControlKind {
  check_box,
  lyrics_box,   // multi-line, vertical scroll bar, read-only
  picture_box,
  button,
  result_list,  // report-style list view
  drop_down,    // not editable, not sorted
  search_box    // single line, editable
};

struct Rect {
  int left, top, width, height;
};

struct ControlLayout {
  Role role;
  const char* name;  // the control's name in the window's design, which tests address it by
  ControlKind kind;
  Rect rect;  // client coordinates of the main window
  const char* text;
};

struct ColumnLayout {
  const char* header;
  int width;
};

inline constexpr const char* kWindowTitle = "Qiwa音乐";
// The outer rectangle, screen coordinates: the design's 601 x 710, grown at the bottom by the strip.
inline constexpr Rect kWindowRect{50, 50, 601, 760};
inline constexpr const char* kMenuTitle = "菜单";
inline constexpr const char* kMenuPlayItem = "播放并下载";
inline constexpr const char* kDownloadRowsItem = "下载选中";
inline constexpr const char* kSettingsItem = "设置…";
inline constexpr const char* kFavouriteItem = "收藏\tCtrl+D";
inline constexpr const char* kUnfavouriteItem = "取消收藏\tCtrl+D";
inline constexpr const char* kRemoveItem = "从列表删除";
inline constexpr const char* kDesktopLyricsItem = "桌面歌词\tCtrl+Alt+L";
inline constexpr const char* kDesktopLockItem = "锁定桌面歌词";
inline constexpr const char* kLyricsEarlierItem = "歌词提前 0.5 秒";
inline constexpr const char* kLyricsLaterItem = "歌词推后 0.5 秒";
inline constexpr const char* kTranslationItem = "桌面歌词翻译";
inline constexpr int kMenuOffset = 3;  // the menu opens this far right of and below the cursor

// 编辑框2's text: green on white, bold, 12 px, GB2312 character set.
struct LyricsLook {
  unsigned char red, green, blue;
  int height;
  bool bold;
  int charset;
};
inline constexpr LyricsLook kLyricsLook{0, 128, 0, 12, true, 134};

// The text colour of a favourite's row in the results.
struct Colour {
  unsigned char red, green, blue;
};
inline constexpr Colour kFavouriteLook{0xD8, 0x2B, 0x5E};

// The strip below the design's controls: the player's controls and the lists, made after them.
enum class StripKind {
  button,       // a push button
  track_bar,    // msctls_trackbar32
  text,         // a static text
  tabs          // a tab control shown as flat buttons
};

struct StripLayout {
  StripRole role;
  const char* name;  // what tests address it by
  StripKind kind;
  Rect rect;         // client coordinates at 96 DPI
  const char* text;
};

// The tabs of StripRole::lists, in the order of ListKind (app/main_window.hpp).
inline constexpr const char* kListTabs[] = {"搜索结果", "我的收藏", "最近播放", "本地歌曲"};
inline constexpr const char* kPlayCaption = "播放";
inline constexpr const char* kPauseShortCaption = "暂停";

// In the window's own order (the order of Role).
std::span<const ControlLayout> control_layout();
// In the order of StripRole.
std::span<const StripLayout> strip_layout();
const ControlLayout& layout_of(Role role);
// Indexed by Cell (music/song.hpp). The items of 组合框1 are the catalogues (music/catalogue.hpp).
std::span<const ColumnLayout> list_columns();

}  // namespace qiwa
