#pragma once
// The kinds of window the skin draws, and each kind's message handler (called by the one subclass procedure).
#include <windows.h>

namespace qiwa::skin {

enum class Kind : int { kNone, kFrame, kButton, kEdit, kCombo, kList, kHeader, kTrackBar, kTabs, kTip };

// Each handler gets every message of its window; `hot` is the window's "mouse is over it" flag.
LRESULT frame_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT button_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT edit_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT combo_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT list_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT header_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT track_bar_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);
LRESULT tabs_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot);

// Which kind a window of this class and style is; kNone for windows the skin leaves alone.
Kind kind_of(HWND hwnd, LONG style);
// Applies the skin's font and colours to a control once it exists.
void style_control(HWND hwnd, Kind kind);
// List view colours, where the program kept the defaults.
void style_list(HWND hwnd);
// Tooltip colours, where the program kept the defaults.
void style_tip(HWND hwnd);
// Subclasses one window; `existing` also styles and repaints it. False when it is not one of ours.
bool skin_window(HWND hwnd, LONG style, bool existing);
// Subclasses every existing window of the calling thread, top-level windows and their children.
void skin_thread_windows();
// Draws one list view row when its parent is asked (NM_CUSTOMDRAW); the CDRF_* answer.
LRESULT paint_list_row(const NMHDR* hdr);

// A flat border in place of a control's 3-D edge; `pad` also fills the padding inside it.
void paint_flat_border(HWND hwnd, COLORREF edge, bool pad);
// Single-line edits made before the skin get their inner padding.
void refresh_padding(HWND hwnd);
// Starts mouse-leave tracking the first time the mouse moves over a window.
void track_hover(HWND hwnd, bool& hot);
// The parent's background brush and text colour for a child, as WM_CTLCOLORBTN answers them.
// msg is WM_CTLCOLORBTN or WM_CTLCOLORSTATIC; the skin's window colours when the parent gave the defaults.
HBRUSH parent_colours(HWND hwnd, HDC dc, UINT msg, COLORREF* text);
using Painter = void (*)(HWND, HDC, bool hot);
// Paints a window now, outside WM_PAINT, after its own procedure drew on it directly.
void repaint_now(HWND hwnd, Painter paint, bool hot);
// A control the skin paints whole: WM_PAINT and WM_PRINTCLIENT go to `paint`, and after the control's
// own handling of a message that `redraws` names (or of a change of hover) it is painted again.
LRESULT self_painted_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& hot, Painter paint,
                             bool (*redraws)(UINT));
bool focus_cues_hidden(HWND hwnd);

}  // namespace qiwa::skin
