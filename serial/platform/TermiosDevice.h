#pragma once
// The Linux form of a serial device: a terminal (a serial driver's /dev/tty*, or the slave side
// of a pseudo-terminal that a simulator publishes) driven through termios, non-blocking.
//
// One thread per open device waits in TIOCMIWAIT for modem-line changes and wakes waiters
// through an eventfd; on a device without modem lines (pseudo-terminals) it ends at once.
// The thread is stopped with a signal, SIGRTMIN+3, whose do-nothing handler this form installs
// the first time a device opens; the application must leave that signal alone.

#include "CommDevice.h"

#include <memory>
#include <string>

namespace Platform {

// Opens the terminal at `path` for exclusive use by this handle. nullptr with `error` set on
// failure: ERROR_FILE_NOT_FOUND for no such device, ERROR_ACCESS_DENIED for no permission or a
// port another handle (in this process or another) holds, ERROR_NOT_SUPPORTED for a path that
// is no terminal.
std::unique_ptr<TCommDevice> OpenTermiosDevice(const std::string& path, DWORD& error);

} // namespace Platform
