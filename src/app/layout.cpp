#include "app/layout.hpp"

#include <array>

#include "music/song.hpp"

namespace qiwa {
namespace {

using K = ControlKind;
constexpr std::array<ControlLayout, kRoleCount> kControls{{
    {Role::delete_on_exit, "选择框1", K::check_box, {472, 0, 120, 45}, "软件退出后删除目录所有下载的音乐"},
    {Role::lyrics, "编辑框2", K::lyrics_box, {368, 248, 224, 424}, ""},
    {Role::cover, "图片框1", K::picture_box, {368, 48, 224, 192}, ""},
    {Role::pause_button, "按钮4", K::button, {136, 637, 80, 32}, "暂停播放"},
    {Role::play_button, "按钮3", K::button, {1, 637, 103, 32}, "播放并下载"},
    {Role::more_button, "按钮2", K::button, {280, 637, 80, 32}, "加载更多"},
    // At -150 the three id columns lie outside the client area.
    {Role::results, "超级列表框1", K::result_list, {-150, 56, 510, 576}, ""},
    {Role::catalogue, "组合框1", K::drop_down, {371, 14, 100, 20}, ""},
    {Role::search_button, "按钮1", K::button, {278, 16, 80, 32}, "搜索"},
    {Role::search_box, "编辑框1", K::search_box, {6, 12, 264, 40}, ""},
}};

// Two rows under the design's lowest controls (their bottom is at 672): where the song is, then the
// buttons, the lists and the volume.
using S = StripKind;
constexpr std::array<StripLayout, kStripRoleCount> kStrip{{
    {StripRole::previous, "previous", S::button, {4, 702, 56, 26}, "上一首"},
    {StripRole::play_pause, "play", S::button, {62, 702, 56, 26}, kPlayCaption},
    {StripRole::next, "next", S::button, {120, 702, 56, 26}, "下一首"},
    {StripRole::mode, "mode", S::button, {178, 702, 70, 26}, "顺序播放"},
    {StripRole::lists, "lists", S::tabs, {252, 702, 222, 26}, ""},
    {StripRole::volume, "volume", S::track_bar, {478, 702, 114, 26}, "音量"},
    {StripRole::seek, "seek", S::track_bar, {2, 676, 458, 24}, "进度"},
    {StripRole::time, "time", S::text, {462, 680, 130, 18}, "0:00 / 0:00"},
}};

constexpr std::array<ColumnLayout, kCellCount> kColumns{{
    {"uid", 50}, {"pid", 50}, {"lid", 50}, {"歌名", 150}, {"歌手", 100}, {"专辑", 100},
}};

}  // namespace

std::span<const ControlLayout> control_layout() { return kControls; }

const ControlLayout& layout_of(Role role) { return kControls[static_cast<std::size_t>(role)]; }

std::span<const StripLayout> strip_layout() { return kStrip; }

std::span<const ColumnLayout> list_columns() { return kColumns; }

}  // namespace qiwa
