// 超级列表框1: a virtual list (LVS_OWNERDATA) whose rows the window keeps; the list asks for each cell
// as it draws it, so ten thousand rows show as soon as their count is set.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "app/layout.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"
#include "runtime/win32/dpi.hpp"

namespace qiwa {
namespace {

constexpr UINT kUnticked = INDEXTOSTATEIMAGEMASK(1), kTicked = INDEXTOSTATEIMAGEMASK(2);

void copy_cell(const Text& text, wchar_t* out, int capacity) {
  if (!out || capacity <= 0) return;
  const std::wstring cell = wide(text);
  const std::size_t n = std::min(cell.size(), static_cast<std::size_t>(capacity - 1));
  cell.copy(out, n);
  out[n] = L'\0';
}

// What the list asks of a row: a cell's text, its check box.
void answer_display(const WindowParts& parts, LVITEMW& item) {
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= parts.rows.size()) return;
  const auto row = static_cast<std::size_t>(item.iItem);
  if ((item.mask & LVIF_TEXT) && item.iSubItem >= 0 && static_cast<std::size_t>(item.iSubItem) < kCellCount)
    copy_cell(parts.rows[row].cell(static_cast<Cell>(item.iSubItem)), item.pszText, item.cchTextMax);
  if (item.mask & LVIF_STATE) {
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | (parts.row_ticks[row] ? kTicked : kUnticked);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

// A virtual list keeps no check boxes: a tick the user changes is kept here.
void follow_ticks(WindowParts& parts, const NMLISTVIEW& change) {
  if (!(change.uChanged & LVIF_STATE) || !((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK)) return;
  const bool ticked = (change.uNewState & LVIS_STATEIMAGEMASK) == kTicked;
  if (change.iItem < 0)
    std::fill(parts.row_ticks.begin(), parts.row_ticks.end(), ticked);
  else if (static_cast<std::size_t>(change.iItem) < parts.row_ticks.size())
    parts.row_ticks[static_cast<std::size_t>(change.iItem)] = ticked;
}

// A favourite's row is drawn in the favourites' colour.
LRESULT custom_draw(const WindowParts& parts, NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
  if (row < parts.favourites.size() && parts.favourites[row])
    draw.clrText = RGB(kFavouriteLook.red, kFavouriteLook.green, kFavouriteLook.blue);
  return CDRF_DODEFAULT;
}

}  // namespace

bool setup_result_list(HWND list, UINT dpi) {
  constexpr DWORD extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_DOUBLEBUFFER;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
  SendMessageW(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);  // the check boxes are asked for too
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

void result_list_clear(WindowParts& parts) {
  parts.rows.clear();
  parts.row_ticks.clear();
  SendMessageW(parts.control(Role::results), LVM_DELETEALLITEMS, 0, 0);  // the selection goes with them
}

// The rows join the end; what is shown and selected stays where it is.
void result_list_add(WindowParts& parts, std::span<const SongRow> rows) {
  parts.rows.insert(parts.rows.end(), rows.begin(), rows.end());
  parts.row_ticks.resize(parts.rows.size());
  HWND list = parts.control(Role::results);
  SendMessageW(list, LVM_SETITEMCOUNT, parts.rows.size(), LVSICF_NOSCROLL);
  InvalidateRect(list, nullptr, FALSE);
}

bool on_result_list_notify(WindowParts& parts, const NMHDR& header, LRESULT& result) {
  auto& message = const_cast<NMHDR&>(header);
  result = 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: answer_display(parts, reinterpret_cast<NMLVDISPINFOW&>(message).item); return true;
    case LVN_ODFINDITEMW: result = -1; return true;  // the first column is a hidden id: nothing to type for
    case LVN_ITEMCHANGED: follow_ticks(parts, reinterpret_cast<const NMLISTVIEW&>(header)); return true;
    case NM_CUSTOMDRAW: result = custom_draw(parts, reinterpret_cast<NMLVCUSTOMDRAW&>(message)); return true;
    case NM_DBLCLK:  // a double click on a row plays it
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) parts.emit(WindowEvent::play);
      return true;
    default: return false;
  }
}

}  // namespace qiwa
