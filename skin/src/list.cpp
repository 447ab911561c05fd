// Report-style list views: flat header, alternating rows, the skin's selection, flat row check boxes.
#include <windows.h>
#include <commctrl.h>

#include "controls.hpp"
#include "draw.hpp"
#include "theme.hpp"

namespace qiwa::skin {
namespace {

constexpr int kCellPadding = 6;

void fill(HDC dc, RECT r, COLORREF c) {
  SetDCBrushColor(dc, c);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

UINT alignment(int fmt) {
  switch (fmt & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return DT_RIGHT;
    case LVCFMT_CENTER: return DT_CENTER;
    default: return DT_LEFT;
  }
}

RECT cell_rect(HWND list, int item, int column) {
  RECT cell{};
  if (column == 0) {
    cell.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
  } else {
    cell.top = column, cell.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell));
  }
  return cell;
}

// The row the program marks as playing: its "QiwaPlayingRow" property holds the row + 1.
int playing_row(HWND list) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(list, L"QiwaPlayingRow"))) - 1;
}

// The left edge of what can be seen of the list: its client area, cut by every parent's client area (a
// list may reach out past its window's edge).
int visible_left(HWND list) {
  RECT seen;
  GetClientRect(list, &seen);
  for (HWND w = list; GetWindowLongW(w, GWL_STYLE) & WS_CHILD;) {
    w = GetParent(w);
    if (!w) break;
    RECT parent;
    GetClientRect(w, &parent);
    MapWindowPoints(w, list, reinterpret_cast<POINT*>(&parent), 2);
    if (parent.left > seen.left) seen.left = parent.left;
  }
  return seen.left;
}

// The playing row's mark: an accent bar at the start of its first visible cell, whose text then moves
// right by `indent`. Its sizes follow the row's height.
void paint_playing_mark(HWND list, HDC dc, int item, RECT row, COLORREF bg, int& indent) {
  const int seen = visible_left(list);
  int start = row.right;  // the left edge of the first cell in sight
  const int columns = Header_GetItemCount(ListView_GetHeader(list));
  for (int column = 0; column < columns; ++column) {
    const RECT cell = cell_rect(list, item, column);
    if (cell.right > seen && cell.right > cell.left) {
      const int left = cell.left > seen ? cell.left : seen;
      start = left < start ? left : start;
    }
  }
  const int h = row.bottom - row.top;
  const int w = h / 5 > 2 ? h / 5 : 2, tall = h * 3 / 5;
  const int x = start + w, y = row.top + (h - tall) / 2;
  Canvas c(dc, w, tall);
  if (!c.ok()) return;
  c.fill(RECT{0, 0, w, tall}, bg);
  c.rounded(RECT{0, 0, w, tall}, w * 0.5f, colour(kAccent));
  c.copy_to(dc, x, y);
  indent = x + 2 * w;
}

void paint_cell(HWND list, HDC dc, int item, int column, COLORREF text, int indent) {
  RECT cell = cell_rect(list, item, column);
  wchar_t buffer[260] = L"";
  LVITEMW li{};
  li.iSubItem = column, li.pszText = buffer, li.cchTextMax = 260;
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&li));
  LVCOLUMNW col{};
  col.mask = LVCF_FMT;
  SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
  cell.left += scaled(list, column == 0 ? 2 : kCellPadding);
  if (cell.left < indent && cell.right > indent) cell.left = indent;
  cell.right -= scaled(list, kCellPadding);
  SetTextColor(dc, text);
  DrawTextW(dc, buffer, -1, &cell, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | alignment(col.fmt));
}

// The row's check box sits left of the first column's label.
void paint_row_tick(HWND list, HDC dc, int item, RECT row, COLORREF bg) {
  RECT label{};
  label.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&label));
  const int size = scaled(list, 13);
  if (label.left - row.left < size) return;
  const int x = row.left + (label.left - row.left - size) / 2, y = row.top + (row.bottom - row.top - size) / 2;
  Canvas c(dc, size, size);
  if (!c.ok()) return;
  c.fill(RECT{0, 0, size, size}, bg);
  const UINT state = (ListView_GetItemState(list, item, LVIS_STATEIMAGEMASK) >> 12);
  paint_tick_box(c, RECT{0, 0, size, size}, state == 2 ? 1 : 0, false, IsWindowEnabled(list), false);
  c.copy_to(dc, x, y);
}

void paint_row(HWND list, HDC dc, int item) {
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (!SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&row))) return;
  const bool shown = GetFocus() == list || (GetWindowLongW(list, GWL_STYLE) & LVS_SHOWSELALWAYS);
  const bool selected = shown && (ListView_GetItemState(list, item, LVIS_SELECTED) & LVIS_SELECTED);
  const COLORREF bg = selected ? colour(kSelection) : (item & 1) ? colour(kRowAlt) : colour(kControl);
  fill(dc, row, bg);
  const bool playing = item == playing_row(list);
  int indent = 0;  // past the playing mark
  if (playing) paint_playing_mark(list, dc, item, row, bg, indent);
  HFONT f = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
  {
    const Selected chosen(dc, f ? f : font());
    SetBkMode(dc, TRANSPARENT);
    const int columns = Header_GetItemCount(ListView_GetHeader(list));
    const COLORREF text = playing ? colour(kAccent) : selected ? colour(kSelectionText) : colour(kText);
    for (int column = 0; column < columns; ++column) paint_cell(list, dc, item, column, text, indent);
  }
  if (ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) paint_row_tick(list, dc, item, row, bg);
}

int hot_item(HWND header) {
  HDHITTESTINFO hit{};
  GetCursorPos(&hit.pt);
  ScreenToClient(header, &hit.pt);
  SendMessageW(header, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  return (hit.flags & HHT_ONHEADER) ? hit.iItem : -1;
}

void paint_header(HWND hwnd, HDC dc, bool hot) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  Canvas c(dc, rc.right, rc.bottom);
  if (!c.ok()) return;
  c.fill(rc, colour(kHeader));
  HFONT f = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  const int count = Header_GetItemCount(hwnd);
  const int lit = hot ? hot_item(hwnd) : -1;
  for (int i = 0; i < count; ++i) {
    RECT item;
    if (!Header_GetItemRect(hwnd, i, &item)) continue;
    if (i == lit) c.fill(item, mix(colour(kHeader), colour(kAccent), 0.08f));
    wchar_t buffer[128] = L"";
    HDITEMW hi{};
    hi.mask = HDI_TEXT | HDI_FORMAT, hi.pszText = buffer, hi.cchTextMax = 128;
    SendMessageW(hwnd, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&hi));
    RECT text{item.left + scaled(hwnd, 8), item.top, item.right - scaled(hwnd, 8), item.bottom};
    c.text(buffer, -1, text, f ? f : font(), colour(kHeaderText),
           DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | alignment(hi.fmt));
    c.fill(RECT{item.right - 1, item.top + scaled(hwnd, 6), item.right, item.bottom - scaled(hwnd, 6)},
           colour(kEditBorder));
  }
  c.fill(RECT{0, rc.bottom - 1, rc.right, rc.bottom}, colour(kEditBorder));
  c.copy_to(dc, 0, 0);
}

bool header_redraws(UINT msg) {
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_CAPTURECHANGED: case WM_SETFONT:
    case HDM_SETITEMW: case HDM_SETITEMA: case HDM_INSERTITEMW: case HDM_INSERTITEMA: case HDM_DELETEITEM:
      return true;
    default: return false;
  }
}

bool is_default(COLORREF c, int system) { return c == CLR_DEFAULT || c == CLR_NONE || c == GetSysColor(system); }

}  // namespace

LRESULT paint_list_row(const NMHDR* hdr) {
  auto* draw = reinterpret_cast<const NMLVCUSTOMDRAW*>(hdr);
  if ((GetWindowLongW(hdr->hwndFrom, GWL_STYLE) & LVS_TYPEMASK) != LVS_REPORT) return CDRF_DODEFAULT;
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      paint_row(hdr->hwndFrom, draw->nmcd.hdc, static_cast<int>(draw->nmcd.dwItemSpec));
      return CDRF_SKIPDEFAULT;
    default: return CDRF_DODEFAULT;
  }
}

void style_list(HWND hwnd) {
  if (is_default(ListView_GetBkColor(hwnd), COLOR_WINDOW)) ListView_SetBkColor(hwnd, colour(kControl));
  if (is_default(ListView_GetTextBkColor(hwnd), COLOR_WINDOW)) ListView_SetTextBkColor(hwnd, colour(kControl));
  if (is_default(ListView_GetTextColor(hwnd), COLOR_WINDOWTEXT)) ListView_SetTextColor(hwnd, colour(kText));
}

LRESULT list_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool&) {
  const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
  if (msg == WM_NCPAINT) paint_flat_border(hwnd, colour(kEditBorder), false);
  // Selected rows change colour with the focus; the list itself repaints only the focused item.
  if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) InvalidateRect(hwnd, nullptr, FALSE);
  return r;
}

LRESULT header_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot) {
  // The lit column follows the mouse, so every move repaints.
  return self_painted_message(hwnd, msg, wp, lp, hot, paint_header,
                              [](UINT m) { return header_redraws(m) || m == WM_MOUSEMOVE; });
}

}  // namespace qiwa::skin
