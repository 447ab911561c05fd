#pragma once
// A dialog template made in memory from a table, so that its texts come from the program's UTF-8 like
// every other text, and Windows lays it out in dialog units of the dialog's font at any DPI.
#include <windows.h>

#include <string_view>
#include <vector>

namespace qiwa {

// The predefined classes a dialog item may name by ordinal.
enum class DialogClass : WORD { button = 0x0080, edit = 0x0081, text = 0x0082, combo = 0x0085 };

struct DialogItem {
  DialogClass cls;
  std::string_view text;
  int id;
  short x, y, width, height;  // dialog units
  DWORD style;                // WS_CHILD | WS_VISIBLE are added
};

// A modal dialog's template: a caption, its size in dialog units and its items, in the system's dialog
// font (DS_SHELLFONT). Aligned for DialogBoxIndirectParamW.
class DialogTemplate {
 public:
  DialogTemplate(std::string_view caption, short width, short height, const std::vector<DialogItem>& items);
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void add(WORD w) { words_.push_back(w); }
  void add(DWORD d) { add(static_cast<WORD>(d & 0xFFFF)), add(static_cast<WORD>(d >> 16)); }
  void add_text(std::string_view utf8);
  void align_dword();
  std::vector<WORD> words_;
};

}  // namespace qiwa
