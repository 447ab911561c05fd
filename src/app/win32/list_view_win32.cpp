// 超级列表框1: the result list's columns and cells.
#include <windows.h>

#include <commctrl.h>

#include "app/layout.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "runtime/win32/dpi.hpp"

namespace qiwa {

bool setup_result_list(HWND list, UINT dpi) {
  constexpr DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_DOUBLEBUFFER;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  int index = 0;
  for (const ColumnLayout& layout : list_columns()) {
    std::wstring header = wide(layout.header);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = at_dpi(layout.width, dpi);
    column.pszText = header.data();
    column.iSubItem = index;
    if (SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) != index) return false;
    ++index;
  }
  return true;
}

void scale_result_list(HWND list, UINT dpi) {
  int index = 0;
  for (const ColumnLayout& layout : list_columns())
    SendMessageW(list, LVM_SETCOLUMNWIDTH, index++, at_dpi(layout.width, dpi));
}

int result_list_append(HWND list) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = const_cast<wchar_t*>(L"");
  return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void result_list_set(HWND list, int row, int column, const std::wstring& text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

// Any length: the buffer grows until the text fits with room to spare.
std::wstring result_list_get(HWND list, int row, int column) {
  if (row < 0 || row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) return {};
  for (std::size_t size = 256;; size *= 2) {
    std::wstring buffer(size, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(size);
    const auto copied =
        static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (copied + 1 < size || size >= (1u << 24)) {
      buffer.resize(copied);
      return buffer;
    }
  }
}

}  // namespace qiwa
