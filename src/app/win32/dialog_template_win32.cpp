#include "app/win32/dialog_template_win32.hpp"

#include "runtime/win32/wide.hpp"

namespace qiwa {

void DialogTemplate::add_text(std::string_view utf8) {
  for (wchar_t c : wide(utf8)) add(static_cast<WORD>(c));
  add(WORD{0});
}

void DialogTemplate::align_dword() {
  if (words_.size() % 2) add(WORD{0});
}

// DLGTEMPLATEEX, then one DLGITEMTEMPLATEEX per item, each on a DWORD boundary.
DialogTemplate::DialogTemplate(std::string_view caption, short width, short height,
                               const std::vector<DialogItem>& items) {
  constexpr DWORD style = DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  add(WORD{1});       // dlgVer
  add(WORD{0xFFFF});  // signature: the extended form
  add(DWORD{0});      // helpID
  add(DWORD{0});      // exStyle
  add(style);
  add(static_cast<WORD>(items.size()));
  for (short v : {short{0}, short{0}, width, height}) add(static_cast<WORD>(v));
  add(WORD{0});  // no menu
  add(WORD{0});  // the dialog class
  add_text(caption);
  add(WORD{9});          // point size
  add(WORD{FW_NORMAL});  // weight
  add(WORD{0});          // italic, character set
  add_text("MS Shell Dlg 2");
  for (const DialogItem& item : items) {
    align_dword();
    add(DWORD{0});  // helpID
    add(DWORD{0});  // exStyle
    add(item.style | WS_CHILD | WS_VISIBLE);
    for (short v : {item.x, item.y, item.width, item.height}) add(static_cast<WORD>(v));
    add(static_cast<DWORD>(item.id));
    add(WORD{0xFFFF});
    add(static_cast<WORD>(item.cls));
    add_text(item.text);
    add(WORD{0});  // no creation data
  }
}

}  // namespace qiwa
