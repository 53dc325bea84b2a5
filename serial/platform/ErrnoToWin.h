#pragma once
// Turns the errno of a failed system call into the Windows error number the port component
// expects (CommApi.h). Opening is told apart from later calls: the same errno can mean "no such
// port" while opening and "the port went away" afterwards.

#include "serial/platform/CommApi.h"

namespace Platform {

// For a call on a device that is open: ENXIO, ENODEV and EIO mean the device is gone
// (ERROR_BAD_COMMAND).
DWORD ErrnoToWinError(int err);

// For the calls that open a device (open, the isatty check, flock): ENXIO and ENODEV mean there
// is no such device (ERROR_FILE_NOT_FOUND), EWOULDBLOCK from flock means another handle holds
// the port (ERROR_ACCESS_DENIED).
DWORD OpenErrnoToWinError(int err);

} // namespace Platform
