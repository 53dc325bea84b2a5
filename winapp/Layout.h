#pragma once
// Small helpers for building the window's controls: pixel sizes at the screen's density, the
// dialog font, and a child control made in one call. UI thread only.

#include "winapp/WinApi.h"

namespace Layout {

// Pixels of a 96-dot-per-inch design at the screen's density.
int Px(int designPixels);
// The font of the system's message boxes; shared, never destroyed.
HFONT DialogFont();
// A child control of a system class with the dialog font.
HWND Child(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, int id,
           int x = 0, int y = 0, int width = 0, int height = 0, DWORD exStyle = 0);
// Moves a control to a rectangle given in design pixels.
void Place(HWND control, int x, int y, int width, int height);

} // namespace Layout
