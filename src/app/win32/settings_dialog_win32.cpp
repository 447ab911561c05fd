// The settings dialog (设置…): a modal dialog of the main window, made from a template in memory.
#include <windows.h>

#include <shobjidl.h>

#include "app/win32/dialog_template_win32.hpp"
#include "app/win32/window_parts_win32.hpp"
#include "app/win32/window_win32.hpp"

namespace qiwa {
namespace {

enum ItemId : int { kFolder = 101, kBrowse, kPattern, kLrc, kQuality, kLevel, kTray, kService, kKeys, kAutoNext };

constexpr DWORD kLabel = SS_LEFT;
constexpr DWORD kField = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kList = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr DWORD kCheck = WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;

const DialogTemplate& settings_template() {
  static const DialogTemplate dialog("设置", 260, 188, {
      {DialogClass::text, "下载文件夹：", -1, 8, 8, 60, 10, kLabel},
      {DialogClass::edit, "", kFolder, 70, 6, 140, 14, kField},
      {DialogClass::button, "浏览…", kBrowse, 214, 6, 38, 14, kButton},
      {DialogClass::text, "文件名：", -1, 8, 28, 60, 10, kLabel},
      {DialogClass::combo, "", kPattern, 70, 26, 100, 80, kList},
      {DialogClass::button, "同时保存歌词文件（.lrc）", kLrc, 70, 44, 182, 12, kCheck},
      {DialogClass::text, "音质：", -1, 8, 64, 60, 10, kLabel},
      {DialogClass::combo, "", kQuality, 70, 62, 100, 80, kList},
      {DialogClass::button, "音量均衡", kLevel, 70, 80, 80, 12, kCheck},
      {DialogClass::button, "自动播放下一首", kAutoNext, 152, 80, 100, 12, kCheck},
      {DialogClass::button, "关闭时最小化到托盘", kTray, 70, 96, 182, 12, kCheck},
      {DialogClass::text, "服务地址：", -1, 8, 116, 60, 10, kLabel},
      {DialogClass::edit, "", kService, 70, 114, 182, 14, kField},
      {DialogClass::text, "", kKeys, 8, 134, 244, 24, kLabel},
      {DialogClass::button, "确定", IDOK, 148, 166, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON},
      {DialogClass::button, "取消", IDCANCEL, 202, 166, 50, 14, kButton},
  });
  return dialog;
}

struct DialogState {
  SettingsForm form;
  const std::function<CheckedForm(SettingsForm)>* check;
  Text note;
  bool kept = false;
};

Text item_text(HWND dialog, int id) { return narrow(window_text(GetDlgItem(dialog, id))); }

void set_item_text(HWND dialog, int id, std::string_view text) { SetDlgItemTextW(dialog, id, wide(text).c_str()); }

void fill_list(HWND dialog, int id, const std::vector<Text>& items, int chosen) {
  HWND list = GetDlgItem(dialog, id);
  for (const Text& item : items) SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item).c_str()));
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

int chosen_in(HWND dialog, int id) {
  return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

void show_form(HWND dialog, const DialogState& state) {
  const SettingsForm& form = state.form;
  set_item_text(dialog, kFolder, form.download_folder);
  fill_list(dialog, kPattern, {std::begin(kNamePatternItems), std::end(kNamePatternItems)},
            static_cast<int>(form.name_pattern));
  int quality = 0;
  std::vector<Text> qualities;
  for (int kbps : kQualityItems) {
    if (kbps == form.quality_kbps) quality = static_cast<int>(qualities.size());
    qualities.push_back(std::to_string(kbps) + " kbps");
  }
  fill_list(dialog, kQuality, qualities, quality);
  CheckDlgButton(dialog, kLrc, form.save_lrc ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kLevel, form.level_loudness ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kTray, form.close_to_tray ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kAutoNext, form.auto_next ? BST_CHECKED : BST_UNCHECKED);
  set_item_text(dialog, kService, form.service);
  set_item_text(dialog, kKeys, state.note);
}

SettingsForm read_dialog(HWND dialog) {
  SettingsForm form;
  form.download_folder = item_text(dialog, kFolder);
  const int pattern = chosen_in(dialog, kPattern);
  form.name_pattern = pattern >= 0 && pattern < 3 ? static_cast<NamePattern>(pattern) : NamePattern::title;
  const int quality = chosen_in(dialog, kQuality);
  form.quality_kbps = quality >= 0 && quality < 3 ? kQualityItems[quality] : 320;
  form.save_lrc = IsDlgButtonChecked(dialog, kLrc) == BST_CHECKED;
  form.level_loudness = IsDlgButtonChecked(dialog, kLevel) == BST_CHECKED;
  form.close_to_tray = IsDlgButtonChecked(dialog, kTray) == BST_CHECKED;
  form.auto_next = IsDlgButtonChecked(dialog, kAutoNext) == BST_CHECKED;
  form.service = item_text(dialog, kService);
  return form;
}

// The system's folder picker (Windows Vista on); the chosen folder goes into the field.
void browse_folder(HWND dialog) {
  if (!com_ready()) return;
  IFileOpenDialog* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw)))) return;
  ComRef<IFileOpenDialog> picker(raw);
  DWORD options = 0;
  picker.get()->GetOptions(&options);
  picker.get()->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  if (FAILED(picker.get()->Show(dialog))) return;  // cancelled
  IShellItem* item = nullptr;
  if (FAILED(picker.get()->GetResult(&item))) return;
  ComRef<IShellItem> chosen(item);
  PWSTR path = nullptr;
  if (SUCCEEDED(chosen.get()->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
    SetDlgItemTextW(dialog, kFolder, path);
    CoTaskMemFree(path);
  }
}

// OK keeps the dialog open with the problem said when the form cannot be kept.
void on_ok(HWND dialog, DialogState& state) {
  CheckedForm checked = (*state.check)(read_dialog(dialog));
  if (!checked.problem.empty()) {
    MessageBoxW(dialog, wide(checked.problem).c_str(), wide("设置").c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  state.form = std::move(checked.form);
  state.kept = true;
  EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK settings_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      show_form(dialog, *reinterpret_cast<DialogState*>(lparam));
      return TRUE;
    case WM_COMMAND:
      if (!state) return FALSE;
      switch (LOWORD(wparam)) {
        case IDOK: on_ok(dialog, *state); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case kBrowse: browse_folder(dialog); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

}  // namespace

std::optional<SettingsForm> Win32MainWindow::edit_settings(const SettingsForm& form,
                                                           const std::function<CheckedForm(SettingsForm)>& check,
                                                           std::string_view note) {
  DialogState state{form, &check, Text(note)};
  DialogBoxIndirectParamW(parts_.instance, settings_template().get(), parts_.hwnd, settings_proc,
                          reinterpret_cast<LPARAM>(&state));
  return state.kept ? std::optional<SettingsForm>(std::move(state.form)) : std::nullopt;
}

}  // namespace qiwa
