#include "app/win32/window_win32.hpp"

#include <commctrl.h>
#include <windowsx.h>

#include "app/layout.hpp"
#include "app/settings.hpp"
#include "music/catalogue.hpp"
#include "app/win32/window_parts_win32.hpp"

namespace qiwa {
namespace {

constexpr wchar_t kWindowClass[] = L"QiwaMusicMainWindow";
constexpr int kFirstControlId = 1001;
constexpr UINT kMenuPlayId = 2001;
constexpr UINT kMenuFavouriteId = 2002;
constexpr UINT kMenuRemoveId = 2003;
constexpr UINT kMenuSettingsId = 2004;
constexpr UINT kMenuLyricsId = 2005;
constexpr UINT kMenuEarlierId = 2006;
constexpr UINT kMenuLaterId = 2007;
constexpr UINT kMenuTranslationId = 2008;
constexpr UINT kMenuDownloadId = 2009;
// What each item of the menus says to the application.
struct MenuItem {
  UINT id;
  WindowEvent event;
};
constexpr MenuItem kMenuItems[] = {
    {kMenuPlayId, WindowEvent::play},          {kMenuDownloadId, WindowEvent::download_rows},
    {kMenuFavouriteId, WindowEvent::favourite}, {kMenuRemoveId, WindowEvent::remove_rows},
    {kMenuSettingsId, WindowEvent::settings},  {kMenuLyricsId, WindowEvent::desktop_lyrics},
    {kMenuEarlierId, WindowEvent::lyrics_earlier}, {kMenuLaterId, WindowEvent::lyrics_later},
    {kMenuTranslationId, WindowEvent::translation}};
constexpr UINT kSystemSettingsId = 0x0010;  // below 0xF000 and a multiple of 16, as system menu items are
constexpr UINT kSystemLyricsId = 0x0020;
constexpr UINT kSystemLockId = 0x0030;
constexpr UINT_PTR kSearchBoxSubclass = 1;
constexpr UINT_PTR kFirstTimerId = 1;  // Timer's ids follow
constexpr const char* kPauseCaption = "暂停播放";
constexpr const char* kResumeCaption = "继续播放";

WindowParts* parts_of(HWND hwnd) { return reinterpret_cast<WindowParts*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int control_id(Role role) { return kFirstControlId + static_cast<int>(role); }

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass class_of(ControlKind kind) {
  constexpr DWORD child = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::check_box: return {L"BUTTON", child | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE, 0};
    case ControlKind::lyrics_box:
      // ES_NOHIDESEL: the line being sung stays marked while another control has the focus.
      return {L"EDIT", child | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_LEFT | ES_NOHIDESEL,
              WS_EX_CLIENTEDGE};
    case ControlKind::picture_box: return {L"STATIC", child | SS_OWNERDRAW, 0};
    case ControlKind::button: return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::result_list:
      return {WC_LISTVIEWW, child | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA, WS_EX_CLIENTEDGE};
    case ControlKind::drop_down: return {WC_COMBOBOXW, child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case ControlKind::search_box: return {L"EDIT", child | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
  }
  return {L"STATIC", child, 0};
}

}  // namespace

void fill_drop_down(HWND combo) {
  for (const Catalogue& catalogue : catalogues())
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(catalogue.item).c_str()));
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

// A drop-down list's CreateWindow height is that of its opened list; the closed field gets the
// layout's height through the selection field's item height. Measured after each change: Wine
// reports back 2 more than was set, so the set value is corrected, not the reported one.
void setup_drop_down(HWND combo, int field_height) {
  LRESULT item = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int attempt = 0; attempt < 3 && item > 0; ++attempt) {
    RECT now{};
    GetWindowRect(combo, &now);
    const int off = field_height - (now.bottom - now.top);
    if (off == 0 || item + off <= 0) return;
    item += off;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
  }
}

namespace {

LRESULT CALLBACK search_box_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

HWND create_control(HWND parent, const WindowParts& parts, const ControlLayout& layout) {
  const ControlClass cls = class_of(layout.kind);
  const Rect r = at_dpi(layout.rect, parts.dpi);
  const int height = layout.kind == ControlKind::drop_down ? drop_down_height(r.height, parts.dpi) : r.height;
  HWND hwnd = CreateWindowExW(cls.ex_style, cls.name, wide(layout.text).c_str(), cls.style, r.left, r.top, r.width,
                              height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id(layout.role))),
                              parts.instance, nullptr);
  if (!hwnd) return nullptr;
  const bool lyrics = layout.kind == ControlKind::lyrics_box;
  HFONT font = static_cast<HFONT>(lyrics ? parts.lyrics_font.get() : parts.ui_font.get());
  if (font) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  bool ok = true;
  switch (layout.kind) {
    case ControlKind::lyrics_box:
    case ControlKind::search_box: SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0); break;  // no 32K cap
    case ControlKind::result_list: ok = setup_result_list(hwnd, parts.dpi); break;
    case ControlKind::drop_down:
      fill_drop_down(hwnd);
      setup_drop_down(hwnd, r.height);
      break;
    default: break;
  }
  if (layout.kind == ControlKind::search_box)
    ok = SetWindowSubclass(hwnd, search_box_proc, kSearchBoxSubclass, reinterpret_cast<DWORD_PTR>(&parts));
  return ok ? hwnd : nullptr;
}

// The menu "菜单" with its one item; kept out of the menu bar.
MenuHandle make_menu() {
  MenuHandle bar(CreateMenu());
  HMENU popup = CreatePopupMenu();
  if (!bar || !popup) {
    if (popup) DestroyMenu(popup);
    return {};
  }
  AppendMenuW(popup, MF_STRING, kMenuPlayId, wide(kMenuPlayItem).c_str());
  AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup), wide(kMenuTitle).c_str());
  return bar;
}

// ---- message handlers: one plain function each ----

// "设置…" at the foot of the window's own menu (its icon, Alt+Space).
void add_system_items(HWND hwnd) {
  HMENU system = GetSystemMenu(hwnd, FALSE);
  if (!system) return;
  AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(system, MF_STRING, kSystemLyricsId, wide(kDesktopLyricsItem).c_str());
  AppendMenuW(system, MF_STRING, kSystemLockId, wide(kDesktopLockItem).c_str());
  AppendMenuW(system, MF_STRING, kSystemSettingsId, wide(kSettingsItem).c_str());
}

bool on_system_command(const WindowParts& parts, WPARAM wparam) {
  const UINT id = static_cast<UINT>(wparam & 0xFFF0);
  if (id == kSystemSettingsId) parts.emit(WindowEvent::settings);
  else if (id == kSystemLyricsId) parts.emit(WindowEvent::desktop_lyrics);
  else if (id == kSystemLockId) parts.emit(WindowEvent::desktop_lock);
  else return false;
  return true;
}

// The system menu's check mark follows the desktop lyrics.
void on_init_menu(const WindowParts& parts, HMENU menu) {
  if (menu != GetSystemMenu(parts.hwnd, FALSE)) return;
  CheckMenuItem(menu, kSystemLyricsId, MF_BYCOMMAND | (parts.desktop_lyrics_on ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, kSystemLockId, MF_BYCOMMAND | (parts.desktop_lyrics_locked ? MF_CHECKED : MF_UNCHECKED));
}

// Closing hides the window in the tray when the user asked for it (not the tray's 退出, nor Windows
// ending the session).
bool hide_on_close(HWND hwnd, const WindowParts& parts) {
  if (!parts.close_to_tray || parts.exiting) return false;
  ShowWindow(hwnd, SW_HIDE);
  return true;
}

LRESULT on_create(HWND hwnd, WindowParts& parts) {
  parts.dpi = window_dpi(hwnd);
  parts.ui_font = make_ui_font(parts.dpi);
  parts.lyrics_font = make_lyrics_font(parts.dpi);
  parts.menu = make_menu();
  if (!parts.menu) return -1;
  add_system_items(hwnd);
  for (const ControlLayout& layout : control_layout()) {
    HWND control = create_control(hwnd, parts, layout);
    if (!control) return -1;
    parts.controls[static_cast<std::size_t>(layout.role)] = control;
  }
  if (!create_strip(hwnd, parts)) return -1;
  if (parts.dpi != kBaseDpi)  // the layout's window size is that of 96 DPI
    SetWindowPos(hwnd, nullptr, 0, 0, at_dpi(kWindowRect.width, parts.dpi), at_dpi(kWindowRect.height, parts.dpi),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

LRESULT on_command(WindowParts& parts, WPARAM wparam, LPARAM lparam) {
  if (on_thumb_button(parts, wparam)) return 0;
  if (lparam && on_strip_command(parts, reinterpret_cast<HWND>(lparam), HIWORD(wparam))) return 0;
  const int id = LOWORD(wparam);
  if (lparam == 0 && HIWORD(wparam) == 0) {  // a menu's item
    for (const MenuItem& item : kMenuItems)
      if (id == static_cast<int>(item.id)) parts.emit(item.event);
    return 0;
  }
  if (HIWORD(wparam) != BN_CLICKED) return 0;
  if (id == control_id(Role::search_button)) parts.emit(WindowEvent::search);
  if (id == control_id(Role::more_button)) parts.emit(WindowEvent::load_more);
  if (id == control_id(Role::play_button)) parts.emit(WindowEvent::play);
  if (id == control_id(Role::pause_button)) parts.emit(WindowEvent::pause);
  return 0;
}

LRESULT on_notify(WindowParts& parts, const NMHDR& header) {
  if (on_strip_notify(parts, header)) return 0;
  if (header.hwndFrom != parts.control(Role::results)) return 0;
  if (LRESULT result = 0; on_result_list_notify(parts, header, result)) return result;
  if (header.code == NM_RETURN) {  // Enter on a row plays it, as the play button does
    parts.emit(WindowEvent::play);
    return 1;
  }
  if (header.code != NM_RCLICK) return 0;
  parts.emit(WindowEvent::list_menu);
  return 1;  // handled: no WM_CONTEXTMENU follows
}

// Right-clicks that bring no NM_RCLICK: the list's header, or the context-menu key.
bool on_context_menu(WindowParts& parts, HWND source) {
  HWND list = parts.control(Role::results);
  if (source != list && GetParent(source) != list) return false;
  parts.emit(WindowEvent::list_menu);
  return true;
}

LRESULT on_control_colour(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, const WindowParts& parts) {
  if (reinterpret_cast<HWND>(lparam) != parts.control(Role::lyrics))
    return DefWindowProcW(hwnd, message, wparam, lparam);
  HDC dc = reinterpret_cast<HDC>(wparam);
  SetTextColor(dc, RGB(kLyricsLook.red, kLyricsLook.green, kLyricsLook.blue));
  SetBkColor(dc, RGB(255, 255, 255));
  return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void on_draw_item(HWND hwnd, const WindowParts& parts, const DRAWITEMSTRUCT& item) {
  if (item.hwndItem != parts.control(Role::cover)) return;
  // Ask the window for the static background, so a skin's colour applies here too.
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(item.hDC),
                                                     reinterpret_cast<LPARAM>(item.hwndItem)));
  if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
  draw_picture(item, static_cast<HBITMAP>(parts.picture.get()), brush);
}

// A copy runs, so that the tick may stop or restart its own timer.
void on_timer(const WindowParts& parts, WPARAM id) {
  if (id < kFirstTimerId || id >= kFirstTimerId + kTimerCount) return;
  if (auto tick = parts.ticks[id - kFirstTimerId]) tick();
}

// Set when the main window goes: a modal loop running then (Wine's move loop of the dragged desktop
// lyrics) may take the WM_QUIT meant for the program's own loop, which must end all the same.
bool main_window_gone = false;

void on_destroy(HWND hwnd, const WindowParts& parts) {
  unregister_global_keys(hwnd);
  if (parts.tray_shown) remove_tray_icon(hwnd);
  RemovePropW(parts.control(Role::results), L"QiwaPlayingRow");
  parts.emit(WindowEvent::destroying);
  main_window_gone = true;
  PostQuitMessage(0);
}

// Log-off or shut-down: Windows ends the process after this returns, without a WM_DESTROY, so the exit
// clean-up runs now.
void on_end_session(const WindowParts& parts, bool ending) {
  if (ending) parts.emit(WindowEvent::session_ending);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* parts = static_cast<WindowParts*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(parts));
    parts->hwnd = hwnd;
  }
  WindowParts* parts = parts_of(hwnd);
  if (!parts) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == taskbar_button_created_message()) {
    on_taskbar_button_created(hwnd, *parts);
    return 0;
  }
  if (message == taskbar_created_message()) {  // the shell came back: the tray's icon with it
    if (parts->tray_shown) add_tray_icon(hwnd, *parts);
    return 0;
  }
  switch (message) {
    case WM_CREATE: return on_create(hwnd, *parts);
    case WM_COMMAND: return on_command(*parts, wparam, lparam);
    case WM_HSCROLL: on_strip_scroll(*parts, reinterpret_cast<HWND>(lparam), LOWORD(wparam)); return 0;
    case WM_NOTIFY: return on_notify(*parts, *reinterpret_cast<NMHDR*>(lparam));
    case WM_CONTEXTMENU:
      if (on_context_menu(*parts, reinterpret_cast<HWND>(wparam))) return 0;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: return on_control_colour(hwnd, message, wparam, lparam, *parts);
    case WM_DRAWITEM: on_draw_item(hwnd, *parts, *reinterpret_cast<DRAWITEMSTRUCT*>(lparam)); return TRUE;
    case WM_TIMER: on_timer(*parts, wparam); return 0;
    case WM_SYSCOMMAND:
      if (on_system_command(*parts, wparam)) return 0;
      break;
    case WM_APPCOMMAND:
      if (on_app_command(*parts, lparam)) return TRUE;
      break;
    case WM_HOTKEY: on_hot_key(*parts, wparam); return 0;
    case kTrayMessage: on_tray_message(hwnd, *parts, lparam); return 0;
    case WM_INITMENUPOPUP: on_init_menu(*parts, reinterpret_cast<HMENU>(wparam)); break;
    case WM_CLOSE:
      if (hide_on_close(hwnd, *parts)) return 0;
      break;
    case WM_DPICHANGED: on_dpi_changed(hwnd, *parts, HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam)); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION: on_end_session(*parts, wparam != 0); return 0;
    case WM_DESTROY: on_destroy(hwnd, *parts); return 0;
    case WM_NCDESTROY: parts->hwnd = nullptr; break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Enter in 编辑框1 starts a search; every other key is the edit box's own.
LRESULT CALLBACK search_box_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    reinterpret_cast<WindowParts*>(data)->emit(WindowEvent::search);
    return 0;
  }
  if (message == WM_CHAR && wparam == L'\r') return 0;  // no beep
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, search_box_proc, kSearchBoxSubclass);
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

bool register_window_class(HINSTANCE instance) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = window_proc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconW(instance, L"DEFAULT_ICON");
  cls.hIconSm = static_cast<HICON>(LoadImageW(instance, L"DEFAULT_ICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  cls.lpszClassName = kWindowClass;
  return RegisterClassExW(&cls) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

BOOL CALLBACK add_work_area(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcWork;
    reinterpret_cast<std::vector<ScreenRect>*>(areas)->push_back(ScreenRect{r.left, r.top, r.right, r.bottom});
  }
  return TRUE;
}

std::vector<ScreenRect> monitor_work_areas() {
  std::vector<ScreenRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, add_work_area, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

int to_button_code(int id) {
  // IDOK 1 .. IDNO 7 become 0 OK .. 6 No.
  return id >= IDOK && id <= IDNO ? id - IDOK : 0;
}

}  // namespace

std::wstring window_text(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

Win32MainWindow::Win32MainWindow(HINSTANCE instance) { parts_.instance = instance; }

bool Win32MainWindow::create() {
  if (!register_window_class(parts_.instance)) return false;
  // WS_CAPTION brings the dialog frame; without WS_THICKFRAME the size is fixed.
  constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  HWND hwnd = CreateWindowExW(0, kWindowClass, wide(kWindowTitle).c_str(), style, kWindowRect.left,
                              kWindowRect.top, kWindowRect.width, kWindowRect.height, nullptr, nullptr,
                              parts_.instance, &parts_);
  if (!hwnd) return false;
  parts_.taken_keys = register_global_keys(hwnd);
  parts_.emit(WindowEvent::created);
  return true;
}

void Win32MainWindow::show(int show_command) {
  ShowWindow(parts_.hwnd, show_command);
  UpdateWindow(parts_.hwnd);
}

std::optional<ScreenPoint> Win32MainWindow::position() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!parts_.hwnd || !GetWindowPlacement(parts_.hwnd, &placement)) return std::nullopt;
  return ScreenPoint{placement.rcNormalPosition.left, placement.rcNormalPosition.top};
}

// The window keeps its size (the layout's, at its DPI); its place is moved onto a monitor if it would
// lie off every one there is now.
void Win32MainWindow::move_to(ScreenPoint at) {
  RECT now{};
  if (!parts_.hwnd || !GetWindowRect(parts_.hwnd, &now)) return;
  const WindowPlace fitted =
      fit_on_screens(WindowPlace{at.x, at.y, now.right - now.left, now.bottom - now.top}, monitor_work_areas());
  SetWindowPos(parts_.hwnd, nullptr, fitted.x, fitted.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Text Win32MainWindow::search_words() { return narrow(window_text(parts_.control(Role::search_box))); }

void Win32MainWindow::set_search_words(std::string_view words) {
  SetWindowTextW(parts_.control(Role::search_box), wide(words).c_str());
}

void Win32MainWindow::hold_media_key(bool held) { hold_media_keys(parts_.hwnd, parts_, held); }

void Win32MainWindow::choose_catalogue(int index) {
  SendMessageW(parts_.control(Role::catalogue), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32MainWindow::chosen_catalogue() {
  const auto item = static_cast<int>(SendMessageW(parts_.control(Role::catalogue), CB_GETCURSEL, 0, 0));
  return item < 0 ? -1 : item;
}

bool Win32MainWindow::delete_on_exit() {
  return SendMessageW(parts_.control(Role::delete_on_exit), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int Win32MainWindow::selected_row() {
  return static_cast<int>(
      SendMessageW(parts_.control(Role::results), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Win32MainWindow::clear_rows() { result_list_clear(parts_); }

void Win32MainWindow::add_rows(std::span<const SongRow> rows) { result_list_add(parts_, rows); }

void Win32MainWindow::show_row_title(int row, std::string_view text) {
  if (row < 0 || static_cast<std::size_t>(row) >= parts_.rows.size()) return;
  parts_.rows[static_cast<std::size_t>(row)].title = Text(text);  // the list asks for it as it draws
  SendMessageW(parts_.control(Role::results), LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
}

void Win32MainWindow::clear_lyrics() { SetWindowTextW(parts_.control(Role::lyrics), L""); }

void Win32MainWindow::add_lyrics(std::string_view lines) {
  HWND edit = parts_.control(Role::lyrics);
  const int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, end, end);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(lines).c_str()));
}

void Win32MainWindow::mark_lyrics_line(int line) { lyrics_mark_line(parts_.control(Role::lyrics), line); }

EditView Win32MainWindow::lyrics_view() {
  EditView view;
  lyrics_view_of(parts_.control(Role::lyrics), view.selection_start, view.selection_end, view.first_line);
  return view;
}

void Win32MainWindow::show_cover(const Bytes& image) {
  HWND box = parts_.control(Role::cover);
  RECT client{};
  GetClientRect(box, &client);
  parts_.picture = decode_picture(image, client.right, client.bottom);
  InvalidateRect(box, nullptr, TRUE);
}

void Win32MainWindow::set_title(std::string_view title) {
  SetWindowTextW(parts_.hwnd, wide(title).c_str());
  set_tray_tip(parts_.hwnd, parts_, title);
}

// The tray's icon is there while closing goes to it: Wine's tray makes every program that has an icon
// there take a second and a half longer to end.
void Win32MainWindow::set_close_to_tray(bool on) {
  parts_.close_to_tray = on;
  if (on == parts_.tray_shown || !parts_.hwnd) return;
  parts_.tray_shown = on;
  if (on)
    add_tray_icon(parts_.hwnd, parts_);
  else
    remove_tray_icon(parts_.hwnd);
}

DesktopLyricsWindow* Win32MainWindow::desktop_lyrics(DesktopButtons buttons) {
  if (!parts_.desktop_lyrics) parts_.desktop_lyrics = Win32DesktopLyrics::create(parts_.instance, std::move(buttons));
  return parts_.desktop_lyrics.get();
}

void Win32MainWindow::set_paused(bool paused) {
  parts_.paused = paused;
  SetWindowTextW(parts_.control(Role::pause_button), wide(paused ? kResumeCaption : kPauseCaption).c_str());
  strip_follow_pause(parts_);
  follow_thumb_buttons(parts_.hwnd, parts_);
}

std::int64_t Win32MainWindow::seek_target() { return parts_.seek_target_ms; }

int Win32MainWindow::volume() { return strip_volume(parts_); }

ListKind Win32MainWindow::chosen_list() { return strip_chosen_list(parts_); }

void Win32MainWindow::show_time(const SongTime& time) { strip_show_time(parts_, time); }

void Win32MainWindow::set_volume(int volume) { strip_set_volume(parts_, volume); }

void Win32MainWindow::show_mode(std::string_view name) { strip_show_mode(parts_, name); }

void Win32MainWindow::show_list(ListKind list) { strip_show_list(parts_, list); }

// The row playing is selected, focused and scrolled into sight; the skin marks the row named by the
// list's "QiwaPlayingRow" property.
void Win32MainWindow::mark_playing_row(int row) {
  HWND list = parts_.control(Role::results);
  parts_.playing_row = row;
  SetPropW(list, L"QiwaPlayingRow", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(row + 1)));
  if (row >= 0) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  }
  InvalidateRect(list, nullptr, FALSE);
}

void Win32MainWindow::set_taskbar_progress(const TaskbarProgress& progress) {
  show_taskbar_progress(parts_.hwnd, parts_, progress);
}

int Win32MainWindow::message_box(std::string_view message, int buttons, std::string_view caption) {
  const int id = MessageBoxW(parts_.hwnd, wide(message).c_str(), wide(caption).c_str(),
                             static_cast<UINT>(buttons) & MB_TYPEMASK);
  return to_button_code(id);
}

void Win32MainWindow::start_timer(Timer timer, int period_ms, std::function<void()> tick) {
  const auto index = static_cast<std::size_t>(timer);
  parts_.ticks[index] = std::move(tick);
  SetTimer(parts_.hwnd, kFirstTimerId + index, static_cast<UINT>(period_ms), nullptr);
}

void Win32MainWindow::stop_timer(Timer timer) {
  const auto index = static_cast<std::size_t>(timer);
  KillTimer(parts_.hwnd, kFirstTimerId + index);
  parts_.ticks[index] = nullptr;
}

// The design's item first, then what the rows selected allow, and the settings.
void Win32MainWindow::popup_list_menu(const ListMenu& menu) {
  MenuHandle popup(CreatePopupMenu());
  if (!popup) return;
  HMENU m = popup.get();
  AppendMenuW(m, MF_STRING, kMenuPlayId, wide(kMenuPlayItem).c_str());
  const UINT selected = menu.any_selected ? MF_STRING : MF_STRING | MF_GRAYED;
  AppendMenuW(m, selected, kMenuDownloadId, wide(kDownloadRowsItem).c_str());
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, selected, kMenuFavouriteId, wide(menu.all_favourites ? kUnfavouriteItem : kFavouriteItem).c_str());
  if (menu.removable) AppendMenuW(m, selected, kMenuRemoveId, wide(kRemoveItem).c_str());
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING | (parts_.desktop_lyrics_on ? MF_CHECKED : 0), kMenuLyricsId,
              wide(kDesktopLyricsItem).c_str());
  AppendMenuW(m, MF_STRING | (menu.translation ? MF_CHECKED : 0), kMenuTranslationId, wide(kTranslationItem).c_str());
  const UINT lines = menu.song_lyrics ? MF_STRING : MF_STRING | MF_GRAYED;
  AppendMenuW(m, lines, kMenuEarlierId, wide(kLyricsEarlierItem).c_str());
  AppendMenuW(m, lines, kMenuLaterId, wide(kLyricsLaterItem).c_str());
  AppendMenuW(m, MF_STRING, kMenuSettingsId, wide(kSettingsItem).c_str());
  POINT at{};
  GetCursorPos(&at);
  HWND hwnd = parts_.hwnd;
  SetForegroundWindow(hwnd);  // so the menu closes when the user clicks elsewhere
  TrackPopupMenu(m, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x + kMenuOffset, at.y + kMenuOffset, 0, hwnd,
                 nullptr);
  PostMessageW(hwnd, WM_NULL, 0, 0);
}

std::vector<int> Win32MainWindow::selected_rows() {
  std::vector<int> rows;
  HWND list = parts_.control(Role::results);
  for (int row = -1; (row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                           LVNI_SELECTED))) >= 0;)
    rows.push_back(row);
  return rows;
}

void Win32MainWindow::mark_favourites(std::vector<bool> marks) {
  parts_.favourites = std::move(marks);
  InvalidateRect(parts_.control(Role::results), nullptr, FALSE);
}

namespace {

// The main window's parts when a message goes to it or one of its controls (not a box or a dialog).
WindowParts* main_window_of(HWND target) {
  HWND root = target ? GetAncestor(target, GA_ROOT) : nullptr;
  wchar_t cls[64] = L"";
  if (root) GetClassNameW(root, cls, 64);
  return lstrcmpW(cls, kWindowClass) == 0 ? parts_of(root) : nullptr;
}

// Tab through the controls, the player's keys, the wheel over the volume bar: before the focused
// control sees them.
bool pre_translate(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_MOUSEWHEEL) return false;
  WindowParts* parts = main_window_of(message.hwnd);
  if (!parts) return false;
  if (message.message == WM_MOUSEWHEEL) return on_volume_wheel(*parts, GET_WHEEL_DELTA_WPARAM(message.wParam));
  if (message.wParam == VK_TAB) return move_focus(*parts, message.hwnd, GetKeyState(VK_SHIFT) < 0);
  return on_player_key(*parts, message.hwnd, message.wParam);
}

}  // namespace

int run_message_loop() {
  MSG message{};
  while (!main_window_gone && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (pre_translate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return main_window_gone ? 0 : static_cast<int>(message.wParam);
}

}  // namespace qiwa
