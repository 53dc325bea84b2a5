#pragma once
// The window's pictures as the system's bitmaps and image lists, made from the pixels the
// build draws from the same sources as the Qt window's (app/images, the lamp drawing): the
// seven tool-bar pictures, the twelve lamp pictures and the program's icon. UI thread only.

#include "winapp/WinApi.h"

namespace Pictures {

// The tool-bar pictures at `size` pixels (32, or 64 on a screen of twice the density), in
// the image list's order: 0 open folder, 1 door, 2 program, 3 port open, 4 port closed,
// 5 erase, 6 blank page. The caller destroys it.
// Greyed, as disabled buttons show them, when `greyed`.
HIMAGELIST MakeToolBarImages(int size, bool greyed = false);
// The twelve 15 x 15 lamp pictures, two per lamp kind (on, then off) in TLedKind order; what
// is not lamp is transparent. The caller destroys it.
HIMAGELIST MakeLampImages();
// The program's icon at the nearest drawn size. The caller destroys it.
HICON MakeApplicationIcon(int size);

} // namespace Pictures
