// GetTickCount64 for the toolchain's thread library (winpthreads), which imports it although
// Windows XP lacks it. The import pointer defined here takes the place of the system's, so
// no program imports GetTickCount64 from the system: it calls the system's where there is one
// (Vista on) and counts from the performance counter, which every Windows has, elsewhere.
// Linked into every program of this build (windows/CMakeLists.txt).

#define WIN32_LEAN_AND_MEAN
#include <atomic>
#include <windows.h>

namespace {

using TickCall = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI CountedTicks() {
    LARGE_INTEGER frequency{}, now{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    const LONGLONG f = frequency.QuadPart;
    return ULONGLONG(now.QuadPart / f * 1000 + now.QuadPart % f * 1000 / f);
}

// No guarded static here: the thread library itself may be what calls, and every thread that
// looks finds the same answer.
ULONGLONG WINAPI TickCount64() {
    static std::atomic<TickCall> found{nullptr};
    TickCall call = found.load(std::memory_order_relaxed);
    if (call == nullptr) {
        call = reinterpret_cast<TickCall>(reinterpret_cast<void (*)()>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
        if (call == nullptr)
            call = &CountedTicks;
        found.store(call, std::memory_order_relaxed);
    }
    return call();
}

} // namespace

#if defined(__i386__)
extern "C" TickCall ImportedTickCount64 __asm__("__imp__GetTickCount64@0");
#else
extern "C" TickCall ImportedTickCount64 __asm__("__imp_GetTickCount64");
#endif
TickCall ImportedTickCount64 = &TickCount64;
