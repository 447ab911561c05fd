#pragma once
// Work inside the program's process: list view messages need their structures in its memory,
// and menus can only be read by a thread of the process that owns them.
#include <windows.h>

#include <string>
#include <vector>

#include "runtime/win32/handle.hpp"

namespace qiwa::driver {

// Memory committed in another process, freed with it.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  explicit operator bool() const { return address_ != nullptr; }
  void* address() const { return address_; }
  bool write(std::size_t offset, const void* data, std::size_t size);
  bool read(std::size_t offset, void* data, std::size_t size) const;

 private:
  HANDLE process_;
  void* address_;
};

KernelHandle open_process_of(HWND h);

struct ListColumn {
  std::wstring text;
  int width;
};

struct ListRow {
  std::vector<std::wstring> cells;
  bool selected;
  bool focused;
  int check_state;  // 1 unticked, 2 ticked, 0 no check boxes
  RECT rect;        // the row's bounds, in the list's client coordinates
};

std::vector<ListColumn> list_columns(HWND list);
std::vector<ListRow> list_rows(HWND list, int column_count);
// Selects `row` (focus too); without `add`, every other row is deselected first.
bool list_select(HWND list, int row, bool add);
bool list_item_rect(HWND list, int row, RECT& r);  // client coordinates of the list
bool tab_item_rect(HWND tabs, int item, RECT& r);  // client coordinates of the tab control

struct MenuItem {
  std::wstring text;
  UINT id;
  UINT state;  // MFS_* bits
  UINT type;   // MFT_* bits
  RECT rect;   // screen coordinates
};

// Items of the open popup menu window `popup`, read by a helper DLL loaded into its process.
bool read_popup_menu(HWND popup, std::vector<MenuItem>& items, std::wstring& error);

}  // namespace qiwa::driver
