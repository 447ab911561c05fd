#pragma once
// Pieces of the main window kept in files of their own: the result list, the picture box, the lyrics box.
#include <windows.h>

#include <span>
#include <string>

#include "music/song.hpp"
#include "runtime/types.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {

std::wstring window_text(HWND hwnd);

// Columns, grid lines, full-row selection and check boxes.
bool setup_result_list(HWND list, UINT dpi);
// The columns' widths at another DPI.
void scale_result_list(HWND list, UINT dpi);
// Appends the rows, every cell (the hidden ids too), with one redraw at the end.
void result_list_add(HWND list, std::span<const SongRow> rows);

// COM on the calling thread (apartment-threaded), made at its first use there; false when it cannot be.
bool com_ready();

// The image scaled to fit max_width x max_height, aspect kept, composed on white; empty on failure.
GdiObject decode_picture(const Bytes& image, int max_width, int max_height);
// Centres the bitmap (if any) on the background brush.
void draw_picture(const DRAWITEMSTRUCT& item, HBITMAP bitmap, HBRUSH background);

// Selects the 0-based CR LF line of a multi-line edit box and scrolls it about a third from the top.
void lyrics_mark_line(HWND edit, int line);
// The selection and first visible line of an edit box.
void lyrics_view_of(HWND edit, int& selection_start, int& selection_end, int& first_line);

}  // namespace qiwa
