#include "serial/platform/SavedTerminal.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace Platform {

namespace {
constexpr int kOwnLines = TIOCM_DTR | TIOCM_RTS;
}

void TSavedTerminal::Save(int fd) {
    m_haveConfig = ReadLineConfig(fd, m_config) == ERROR_SUCCESS;
    int lines = 0;
    m_haveLines = ::ioctl(fd, TIOCMGET, &lines) == 0;
    m_lines = lines & kOwnLines;
    int exclusive = 0;
    m_exclusive = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    serial_struct serial{};
    m_haveSerialFlags = ::ioctl(fd, TIOCGSERIAL, &serial) == 0;
    m_serialFlags = serial.flags;
}

void TSavedTerminal::Restore(int fd) const {
    if (m_haveConfig) {
        WriteLineConfig(fd, m_config);
    }
    int lines = 0;
    if (m_haveLines && ::ioctl(fd, TIOCMGET, &lines) == 0) {
        int raise = m_lines & ~lines;
        int lower = lines & ~m_lines & kOwnLines;
        if (raise != 0) {
            ::ioctl(fd, TIOCMBIS, &raise);
        }
        if (lower != 0) {
            ::ioctl(fd, TIOCMBIC, &lower);
        }
    }
    serial_struct serial{};
    if (m_haveSerialFlags && ::ioctl(fd, TIOCGSERIAL, &serial) == 0 &&
        ((serial.flags ^ m_serialFlags) & ASYNC_LOW_LATENCY) != 0) {
        serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (m_serialFlags & ASYNC_LOW_LATENCY);
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    // Another program's exclusive mode (root opens through it) stays.
    if (!m_exclusive) {
        ::ioctl(fd, TIOCNXCL);
    }
}

} // namespace Platform
