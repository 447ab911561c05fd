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

void result_list_add(HWND list, std::span<const SongRow> rows) {
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  int index = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (const SongRow& row : rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    std::wstring text = wide(row.cell(Cell::url_id));
    item.pszText = text.data();
    const auto at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) break;
    for (std::size_t c = 1; c < kCellCount; ++c) {
      text = wide(row.cell(static_cast<Cell>(c)));
      LVITEMW cell{};
      cell.iSubItem = static_cast<int>(c);
      cell.pszText = text.data();
      SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&cell));
    }
    index = at + 1;
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

}  // namespace qiwa
