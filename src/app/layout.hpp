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
inline constexpr Rect kWindowRect{50, 50, 601, 710};  // outer rectangle, screen coordinates
inline constexpr const char* kMenuTitle = "菜单";
inline constexpr const char* kMenuPlayItem = "播放并下载";
inline constexpr const char* kSettingsItem = "设置…";
inline constexpr int kMenuOffset = 3;  // the menu opens this far right of and below the cursor

// 编辑框2's text: green on white, bold, 12 px, GB2312 character set.
struct LyricsLook {
  unsigned char red, green, blue;
  int height;
  bool bold;
  int charset;
};
inline constexpr LyricsLook kLyricsLook{0, 128, 0, 12, true, 134};

// In the window's own order (the order of Role).
std::span<const ControlLayout> control_layout();
const ControlLayout& layout_of(Role role);
// Indexed by Cell (music/song.hpp). The items of 组合框1 are the catalogues (music/catalogue.hpp).
std::span<const ColumnLayout> list_columns();

}  // namespace qiwa
