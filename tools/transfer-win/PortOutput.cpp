#include "tools/transfer-win/PortOutput.h"

#include <windows.h>

#ifdef VELL_STANDIN_INPOUT
// inpout32.dll's calls, stdcall in 32-bit; the import library is made from inpout32.def.in.
extern "C" {
__declspec(dllimport) void __stdcall Out32(short port, short data);
__declspec(dllimport) short __stdcall Inp32(short port);
}
#endif

namespace {

inline void OutByte(unsigned short port, unsigned char value) {
    asm volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

} // namespace

// The first instruction faults, as it does for a real transfer program: nothing handles the
// fault, so Wine ends the program with it (or shows its crash dialog first, where the prefix
// asks for one).
void SendByPortInstructions(const char* data, size_t count) {
    for (size_t i = 0; i < count; ++i)
        OutByte(kParallelData, static_cast<unsigned char>(data[i]));
}

bool SendByInpout([[maybe_unused]] const char* data, [[maybe_unused]] size_t count) {
#ifdef VELL_STANDIN_INPOUT
    constexpr short kStatus = kParallelData + 1;
    for (size_t i = 0; i < count; ++i) {
        Out32(short(kParallelData), short(static_cast<unsigned char>(data[i])));
        (void)Inp32(kStatus); // a printer's busy line, as such programs poll it
    }
    return true;
#else
    return false;
#endif
}
