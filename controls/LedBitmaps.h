#pragma once
// The signal lamp's built-in pictures: a red, green, blue, yellow and purple lamp and a light
// bulb, each lit and dark. They are drawn by code (LedDrawing.cpp) rather than shipped as
// files, so that the program has no resource to lose; drawn when the program is built and
// compiled in, so that starting it draws none of them.
//
// Every picture is 15 x 15 pixels in the 16 colours of the classic VGA palette, kept as an
// 8-bit indexed image whose colour table holds exactly those 16 colours. The pixels outside
// the lamp are teal (0, 128, 128), the lower-left one included, and no pixel inside the lamp
// is teal: the lamp takes its lower-left pixel's colour as the transparent one.
//
// UI thread only (the cache is not locked).

#include <QImage>

// The built-in picture of that name ("LEDREDON", "LEDREDOFF", ... "LEDBULBOFF"); a null image
// for any other name.
QImage LedBitmap(const char* name);

// The 16 palette colours, in the usual order (black, maroon, green, olive, navy, purple, teal,
// silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
const QList<QRgb>& LedPalette();
