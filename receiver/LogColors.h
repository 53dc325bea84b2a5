#pragma once
// Colours as 24-bit values 0x00BBGGRR, named as the window's toolkit names them.

#include <cstdint>

using TColor = uint32_t;

constexpr TColor clRed = 0x0000FF;  // port opened and closed
constexpr TColor clBlue = 0xFF0000; // lamps, buttons, run and watchdog lines
constexpr TColor clTeal = 0x808000; // received messages and text
constexpr TColor clNavy = 0x800000; // sent command strings
constexpr TColor clBlack = 0x000000;
