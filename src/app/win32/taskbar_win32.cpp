// The window's taskbar button (Windows 7 on): the download's progress on it, and previous, pause and next
// in the thumbnail's toolbar, pause's picture and tooltip following 按钮4. Where the taskbar interfaces
// are missing, none of it shows and everything else works.
#include <windows.h>

#include <shobjidl.h>

#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

// The toolbar's buttons, left to right; an id is its index plus one.
struct ThumbButton {
  ThumbGlyph glyph;
  WindowEvent event;
  const char* tip;  // empty: the pause button's caption
};
constexpr std::array<ThumbButton, 3> kThumbButtons{{
    {ThumbGlyph::previous, WindowEvent::previous, "上一首"},
    {ThumbGlyph::pause, WindowEvent::pause, ""},
    {ThumbGlyph::next, WindowEvent::next, "下一首"},
}};

// Whether a point of the unit square is inside the glyph. Next is a triangle against a bar; previous is
// its mirror image.
bool inside(ThumbGlyph glyph, float x, float y) {
  const auto triangle = [&](float left, float right) {
    const float half = 0.3f * (right - x) / (right - left);
    return x > left && x < right && y > 0.5f - half && y < 0.5f + half;
  };
  switch (glyph) {
    case ThumbGlyph::pause: return y > 0.2f && y < 0.8f && ((x > 0.25f && x < 0.42f) || (x > 0.58f && x < 0.75f));
    case ThumbGlyph::play: return triangle(0.3f, 0.8f);
    case ThumbGlyph::next: return triangle(0.22f, 0.66f) || (x > 0.66f && x < 0.78f && y > 0.2f && y < 0.8f);
    case ThumbGlyph::previous: return inside(ThumbGlyph::next, 1 - x, y);
  }
  return false;
}

}  // namespace

// White on clear, each pixel's alpha the share of it the glyph covers (4 x 4 samples), so that its edges
// are smooth at any size and nothing is scaled after drawing.
std::vector<std::uint8_t> thumb_glyph_coverage(ThumbGlyph glyph, int size) {
  constexpr int kSub = 4;
  std::vector<std::uint8_t> alpha(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx)
          hits += inside(glyph, (x + (sx + 0.5f) / kSub) / size, (y + (sy + 0.5f) / kSub) / size);
      alpha[static_cast<std::size_t>(y * size + x)] = static_cast<std::uint8_t>(hits * 255 / (kSub * kSub));
    }
  return alpha;
}

IconHandle make_thumb_glyph(ThumbGlyph glyph, int size) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  GdiObject colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  GdiObject mask(CreateBitmap(size, size, 1, 1, nullptr));
  if (!colour || !mask || !bits) return {};
  const std::vector<std::uint8_t> alpha = thumb_glyph_coverage(glyph, size);
  auto* px = static_cast<std::uint32_t*>(bits);
  for (std::size_t i = 0; i < alpha.size(); ++i) px[i] = alpha[i] ? static_cast<std::uint32_t>(alpha[i]) << 24 | 0xFFFFFFu : 0;
  ICONINFO icon{TRUE, 0, 0, static_cast<HBITMAP>(mask.get()), static_cast<HBITMAP>(colour.get())};
  return IconHandle(CreateIconIndirect(&icon));
}

namespace {

// The toolbar as it stands: glyphs at the window's DPI, pause's as 按钮4 offers.
std::array<THUMBBUTTON, kThumbButtons.size()> describe_buttons(WindowParts& parts) {
  std::array<THUMBBUTTON, kThumbButtons.size()> buttons{};
  constexpr int kIconSize = 16;  // the thumbnail toolbar's icons at 96 DPI
  const int size = at_dpi(kIconSize, parts.dpi);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const ThumbButton& b = kThumbButtons[i];
    const bool pause = b.glyph == ThumbGlyph::pause;
    const ThumbGlyph glyph = pause && parts.paused ? ThumbGlyph::play : b.glyph;
    const std::wstring tip = pause ? window_text(parts.control(Role::pause_button)) : wide(b.tip);
    parts.thumb_icons[i] = make_thumb_glyph(glyph, size);
    THUMBBUTTON& t = buttons[i];
    t.dwMask = static_cast<THUMBBUTTONMASK>(THB_ICON | THB_TOOLTIP | THB_FLAGS);
    t.iId = static_cast<UINT>(i + 1);
    t.hIcon = static_cast<HICON>(parts.thumb_icons[i].get());
    lstrcpynW(t.szTip, tip.c_str(), static_cast<int>(std::size(t.szTip)));
    t.dwFlags = THBF_ENABLED;
  }
  return buttons;
}

}  // namespace

UINT taskbar_button_created_message() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void on_taskbar_button_created(HWND hwnd, WindowParts& parts) {
  if (parts.taskbar || !com_ready()) return;
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&list)))) return;
  ComRef<ITaskbarList3> taskbar(list);
  if (FAILED(taskbar.get()->HrInit())) return;
  auto buttons = describe_buttons(parts);
  taskbar.get()->ThumbBarAddButtons(hwnd, static_cast<UINT>(buttons.size()), buttons.data());
  parts.taskbar = std::move(taskbar);
  show_taskbar_progress(hwnd, parts, parts.progress);
}

void show_taskbar_progress(HWND hwnd, WindowParts& parts, const TaskbarProgress& progress) {
  parts.progress = progress;
  ITaskbarList3* taskbar = parts.taskbar.get();
  if (!taskbar) return;
  switch (progress.state) {
    case TaskbarProgress::State::hidden: taskbar->SetProgressState(hwnd, TBPF_NOPROGRESS); break;
    case TaskbarProgress::State::unknown: taskbar->SetProgressState(hwnd, TBPF_INDETERMINATE); break;
    case TaskbarProgress::State::known:
      taskbar->SetProgressState(hwnd, TBPF_NORMAL);
      taskbar->SetProgressValue(hwnd, progress.done, progress.total);
      break;
  }
}

void follow_thumb_buttons(HWND hwnd, WindowParts& parts) {
  if (!parts.taskbar) return;
  auto buttons = describe_buttons(parts);
  parts.taskbar.get()->ThumbBarUpdateButtons(hwnd, static_cast<UINT>(buttons.size()), buttons.data());
}

bool on_thumb_button(const WindowParts& parts, WPARAM wparam) {
  const std::size_t id = LOWORD(wparam);
  if (HIWORD(wparam) != THBN_CLICKED || id < 1 || id > kThumbButtons.size()) return false;
  parts.emit(kThumbButtons[id - 1].event);
  return true;
}

}  // namespace qiwa
