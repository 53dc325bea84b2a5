#pragma once
// The Linux form of a serial device: a terminal (a serial driver's /dev/tty*, or the slave side
// of a pseudo-terminal that a simulator publishes) driven through termios, non-blocking.
//
// Two threads per open device wake waiters through an eventfd: one waits in TIOCMIWAIT for
// modem-line changes (on a device without modem lines, such as a pseudo-terminal, it ends at
// once), the other in tcdrain for written bytes to have gone out, only while someone wants to
// know (EV_TXEMPTY); otherwise it sleeps. Both are stopped with a signal (InterruptibleThread.h)
// the application must leave alone.

#include "serial/platform/CommDevice.h"

#include <memory>
#include <string>

namespace Platform {

// Opens the terminal at `path` for exclusive use by this handle. nullptr with `error` set on
// failure: ERROR_FILE_NOT_FOUND for no such device, ERROR_ACCESS_DENIED for no permission or a
// port another handle (in this process or another) holds, ERROR_NOT_SUPPORTED for a path that
// is no terminal.
std::unique_ptr<TCommDevice> OpenTermiosDevice(const std::string& path, DWORD& error);

} // namespace Platform
