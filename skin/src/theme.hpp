#pragma once
// The skin in effect: its colours as GDI brushes and its font.
#include <windows.h>

#include "skin_format.hpp"

namespace qiwa::skin {

COLORREF colour(Colour c);
HBRUSH brush(Colour c);
HFONT font();
const Skin& current_skin();

// Makes the GDI objects of `s` and puts them in effect; false, and nothing changed, when GDI fails.
bool use_skin(const Skin& s);
// Gives the skin's font to a control that still has the system's default font.
void give_font(HWND hwnd);
// True for the brushes DefWindowProc hands out: the program chose no colour of its own.
bool is_default_brush(HBRUSH b);
COLORREF mix(COLORREF from, COLORREF to, float amount);

}  // namespace qiwa::skin
