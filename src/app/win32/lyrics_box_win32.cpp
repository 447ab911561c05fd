// The lyrics box's mark: a line selected (the box keeps its selection shown without focus) and scrolled
// to about a third from the top, counted in the lines the box shows, wrapped ones included.
#include "app/win32/window_parts_win32.hpp"

namespace qiwa {
namespace {

// Lines of the edit's font that fit its client area.
int visible_lines(HWND edit) {
  RECT client{};
  GetClientRect(edit, &client);
  WindowDc dc(edit);
  if (!dc) return 1;
  Selected font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  if (!GetTextMetricsW(dc.get(), &metrics) || metrics.tmHeight <= 0) return 1;
  const int lines = (client.bottom - client.top) / metrics.tmHeight;
  return lines > 0 ? lines : 1;
}

}  // namespace

void lyrics_mark_line(HWND edit, int line) {
  const std::wstring text = window_text(edit);
  std::size_t start = 0;
  for (int k = 0; k < line && start != std::wstring::npos; ++k) {
    start = text.find(L"\r\n", start);
    if (start != std::wstring::npos) start += 2;
  }
  if (start == std::wstring::npos || start > text.size()) return;
  std::size_t end = text.find(L"\r\n", start);
  if (end == std::wstring::npos) end = text.size();
  SendMessageW(edit, EM_SETSEL, start, end);
  const int shown = static_cast<int>(SendMessageW(edit, EM_LINEFROMCHAR, start, 0));
  const int first = static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
  int target = shown - visible_lines(edit) / 3;
  if (target < 0) target = 0;
  if (target != first) SendMessageW(edit, EM_LINESCROLL, 0, target - first);
}

void lyrics_view_of(HWND edit, int& selection_start, int& selection_end, int& first_line) {
  DWORD from = 0, to = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  selection_start = static_cast<int>(from);
  selection_end = static_cast<int>(to);
  first_line = static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
}

}  // namespace qiwa
