// Preloaded into a test's processes (LD_PRELOAD), this gives pseudo-terminal slaves the modem
// lines they lack: the modem-line ioctls of a slave are answered from the register that
// ModemLines.h describes, while VELL_MODEM_LINES names a folder. Every other call, and every
// call while the variable is unset, goes to the next ioctl (the sanitizer's or libc's).
//
// Thread-safe: the registers are atomics, and nothing here keeps state between calls but the
// next ioctl's address.

#include "tests/support/ModemLines.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <linux/serial.h>

using namespace ModemLines;

namespace {

using TIoctl = int (*)(int, unsigned long, ...);

TIoctl NextIoctl() {
    static std::atomic<TIoctl> next{nullptr};
    TIoctl found = next.load(std::memory_order_acquire);
    if (found == nullptr) {
        found = reinterpret_cast<TIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
        next.store(found, std::memory_order_release);
    }
    return found;
}

bool IsModemRequest(unsigned long request) {
    switch (request) {
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMIWAIT:
    case TIOCGICOUNT: return true;
    default: return false;
    }
}

void ReadCounts(const TRegister& reg, uint32_t (&counts)[4]) {
    counts[0] = reg.cts.load();
    counts[1] = reg.dsr.load();
    counts[2] = reg.rng.load();
    counts[3] = reg.dcd.load();
}

// Blocks until one of the lines in `mask` has changed since the call began, as the kernel's
// TIOCMIWAIT does; -1 with EINTR when a signal's handler ran meanwhile.
int WaitForChange(TRegister& reg, int mask) {
    uint32_t start[4];
    ReadCounts(reg, start);
    const int lines[4] = {TIOCM_CTS, TIOCM_DSR, TIOCM_RNG, TIOCM_CD};
    reg.waiting.fetch_add(1);
    struct TLeave {
        TRegister& reg;
        ~TLeave() { reg.waiting.fetch_sub(1); }
    } leave{reg};
    for (;;) {
        const uint32_t seen = reg.changes.load();
        uint32_t now[4];
        ReadCounts(reg, now);
        for (int i = 0; i < 4; ++i)
            if ((mask & lines[i]) && now[i] != start[i])
                return 0;
        if (::syscall(SYS_futex, &reg.changes, FUTEX_WAIT, seen, nullptr, nullptr, 0) != 0 &&
            errno == EINTR)
            return -1;
    }
}

int Answer(TRegister& reg, unsigned long request, void* argument) {
    int* value = static_cast<int*>(argument);
    switch (request) {
    case TIOCMGET: *value = int(reg.lines.load()); return 0;
    case TIOCMSET:
        reg.lines.store((reg.lines.load() & ~uint32_t(kOutputs)) | uint32_t(*value & kOutputs));
        return 0;
    case TIOCMBIS: reg.lines.fetch_or(uint32_t(*value & kOutputs)); return 0;
    case TIOCMBIC: reg.lines.fetch_and(~uint32_t(*value & kOutputs)); return 0;
    case TIOCMIWAIT: return WaitForChange(reg, int(reinterpret_cast<uintptr_t>(argument)));
    case TIOCGICOUNT: {
        serial_icounter_struct counts{};
        counts.cts = int(reg.cts.load());
        counts.dsr = int(reg.dsr.load());
        counts.rng = int(reg.rng.load());
        counts.dcd = int(reg.dcd.load());
        *static_cast<serial_icounter_struct*>(argument) = counts;
        return 0;
    }
    default: errno = ENOTTY; return -1;
    }
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int vell_modem_lines_loaded = 1;

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    const char* folder = IsModemRequest(request) ? std::getenv(kFolderVariable) : nullptr;
    const int index = folder != nullptr && *folder != '\0' ? PtyIndex(fd) : -1;
    if (index < 0)
        return NextIoctl()(fd, request, argument);
    TRegister* reg = Map(folder, index);
    if (reg == nullptr) {
        errno = EIO;
        return -1;
    }
    const int result = Answer(*reg, request, argument);
    const int err = errno;
    Unmap(reg);
    errno = err;
    return result;
}

} // extern "C"
