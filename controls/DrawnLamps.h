#pragma once
// The signal lamp's built-in pictures as compiled in, written by draw_lamps when the program is
// built (DrawLamps.cpp): 15 x 15 indexes into the lamp palette, row after row.

#include <cstdint>

struct TDrawnLamp {
    const char* Name;
    uint8_t Pixels[15 * 15];
};

extern const TDrawnLamp DrawnLamps[];
extern const int DrawnLampCount;
