#pragma once
// Bytes to the parallel port's data register at 0x378 as old transfer programs send them:
// by port instructions, or through the port-access library inpout32.dll. Neither works under
// Wine, nor on Windows without a driver: a port instruction ends the program with "privileged
// instruction" (0xC0000096), and the library needs a kernel driver of its own. They are here
// so that the checks which refuse such programs have real ones to refuse.

#include <cstddef>

inline constexpr unsigned short kParallelData = 0x378;

// Does not return under Wine: the first byte ends the program with 0xC0000096.
void SendByPortInstructions(const char* data, size_t count);
// Through inpout32.dll in the build that imports it; false in every other build.
bool SendByInpout(const char* data, size_t count);
