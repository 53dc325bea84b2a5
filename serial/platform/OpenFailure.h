#pragma once
// Why the last open of a terminal failed, in the system's own terms. The Windows error number
// that CreateFile reports ("win error code: 5") tells a Linux user little; the window adds a
// line from these details: the device, the errno of the call that failed and, for a port held
// by another program, which program that is when the system tells.

#include "serial/OpenFailureReason.h"

#include <optional>
#include <string>

namespace Platform {

struct TOpenFailure {
    std::string path;          // the device path as opened
    std::string call;          // the failing call: "open", "flock", "isatty"; "owner" for a
                               // device that is not a terminal of this user's
    int err = 0;               // its errno
    long holderPid = 0;        // the process holding a lock on the device; 0 when unknown
    std::string holderCommand; // its command name (printable characters only); may be empty
    TPortDaemons daemons;      // running programs that take USB adapters: for a USB port only
};

// The failure of the last open on this thread (opens run on the thread that asks, like
// GetLastError); none after an open that succeeded or failed for no system reason.
std::optional<TOpenFailure> LastOpenFailure();
void ClearOpenFailure();

// The failure in terms every system's form fills: its errno told as a kind and in words.
TOpenFailureReason ReasonOf(const TOpenFailure& failure);

// Records a failed call of an open. For a port held elsewhere (EWOULDBLOCK from flock, EBUSY
// from an exclusive terminal) the lock holder is looked up in /proc/locks by the device's
// inode, taken from `fd` when it is still open, else from `path`.
void RecordOpenFailure(const std::string& path, const char* call, int err, int fd = -1);

} // namespace Platform
