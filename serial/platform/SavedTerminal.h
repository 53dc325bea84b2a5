#pragma once
// What opening and configuring a terminal changes, as it was before: its termios settings, the
// DTR and RTS lines, exclusive mode and the driver's low-latency flag. A port name may lead to
// a terminal the user still works in, which must be left as it was found.

#include "serial/platform/LineSettings.h"

namespace Platform {

class TSavedTerminal {
public:
    // Reads the state of the terminal at `fd`; what the driver does not have is not saved.
    void Save(int fd);
    // Puts back what differs from the saved state. Failures are passed over: a device that
    // has gone away has no settings left to spoil.
    void Restore(int fd) const;

private:
    bool m_haveConfig = false;
    TLineConfig m_config;
    bool m_haveLines = false;
    int m_lines = 0; // TIOCM_DTR and TIOCM_RTS
    bool m_exclusive = false;
    bool m_haveSerialFlags = false;
    int m_serialFlags = 0;
};

} // namespace Platform
