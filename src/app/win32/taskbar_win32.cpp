// The window's taskbar button (Windows 7 on): the download's progress on it, and a pause button in the
// thumbnail's toolbar whose picture and tooltip follow 按钮4. Where the taskbar interfaces are missing,
// none of it shows and everything else works.
#include <windows.h>

#include <shobjidl.h>

#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

constexpr UINT kPauseButton = 1;

// A small white glyph for the thumbnail button: two bars (pause) or a triangle (continue).
IconHandle make_glyph(bool pause, int size) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  GdiObject colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  GdiObject mask(CreateBitmap(size, size, 1, 1, nullptr));
  if (!colour || !mask || !bits) return {};
  auto* px = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const float fx = (x + 0.5f) / size, fy = (y + 0.5f) / size;
      const bool in = pause ? (fy > 0.2f && fy < 0.8f && ((fx > 0.25f && fx < 0.42f) || (fx > 0.58f && fx < 0.75f)))
                            : (fx > 0.3f && fx < 0.8f && fy > 0.2f + (fx - 0.3f) * 0.6f && fy < 0.8f - (fx - 0.3f) * 0.6f);
      px[y * size + x] = in ? 0xFFFFFFFFu : 0;
    }
  ICONINFO icon{TRUE, 0, 0, static_cast<HBITMAP>(mask.get()), static_cast<HBITMAP>(colour.get())};
  return IconHandle(CreateIconIndirect(&icon));
}

// The button offers what the pause button offers, with its caption as the tip.
void describe_button(THUMBBUTTON& b, WindowParts& parts) {
  const std::wstring caption = window_text(parts.control(Role::pause_button));
  parts.thumb_icon = make_glyph(!parts.paused, GetSystemMetrics(SM_CXSMICON));
  b.dwMask = static_cast<THUMBBUTTONMASK>(THB_ICON | THB_TOOLTIP | THB_FLAGS);
  b.iId = kPauseButton;
  b.hIcon = static_cast<HICON>(parts.thumb_icon.get());
  lstrcpynW(b.szTip, caption.c_str(), static_cast<int>(std::size(b.szTip)));
  b.dwFlags = THBF_ENABLED;
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
  THUMBBUTTON button{};
  describe_button(button, parts);
  taskbar.get()->ThumbBarAddButtons(hwnd, 1, &button);
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

void follow_pause_state(HWND hwnd, WindowParts& parts) {
  if (!parts.taskbar) return;
  THUMBBUTTON button{};
  describe_button(button, parts);
  parts.taskbar.get()->ThumbBarUpdateButtons(hwnd, 1, &button);
}

bool on_thumb_button(const WindowParts& parts, WPARAM wparam) {
  if (HIWORD(wparam) != THBN_CLICKED || LOWORD(wparam) != kPauseButton) return false;
  parts.emit(WindowEvent::pause);
  return true;
}

}  // namespace qiwa
