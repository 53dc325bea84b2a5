#include "serial/platform/ErrnoToWin.h"

#include <cerrno>

namespace Platform {

namespace {

struct TErrnoRow {
    int err;
    DWORD atOpen;
    DWORD afterOpen;
};

// One row per errno the layer meets; anything else is a general failure.
constexpr TErrnoRow kErrnoTable[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    // A port name that resolves to nothing: a link loop or a name the system will not take.
    {ELOOP, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {ENAMETOOLONG, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    // A device node whose driver or hardware is absent; after open it was unplugged.
    {ENODEV, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
    {ENXIO, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
    {EACCES, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    // TIOCEXCL held by another program.
    {EBUSY, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    // Only flock(LOCK_NB) reports it while opening: another handle holds the port. Later calls
    // turn EAGAIN into "nothing now" before they get here.
    {EWOULDBLOCK, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE},
    {EBADF, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {EIO, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
    {EPIPE, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
    // The path exists but is no terminal: a folder, a plain file, a device of another kind.
    {ENOTTY, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {EISDIR, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
};

const TErrnoRow* FindRow(int err) {
    for (const TErrnoRow& row : kErrnoTable) {
        if (row.err == err) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

DWORD ErrnoToWinError(int err) {
    const TErrnoRow* row = FindRow(err);
    return row ? row->afterOpen : ERROR_GEN_FAILURE;
}

DWORD OpenErrnoToWinError(int err) {
    const TErrnoRow* row = FindRow(err);
    return row ? row->atOpen : ERROR_GEN_FAILURE;
}

} // namespace Platform
