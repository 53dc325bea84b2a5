#pragma once
// How the signal lamp's built-in pictures are drawn (LedBitmaps.h says what they are). The
// program does not run this: draw_lamps (DrawLamps.cpp) runs it when the program is built and
// compiles the pictures in, so that starting the program draws nothing. The tests compare.

#include <QImage>
#include <string>

// The picture of that name ("LEDREDON", ... "LEDBULBOFF") drawn now, as an indexed image in the
// lamp palette; a null image for any other name.
QImage DrawLedBitmap(const std::string& name);
