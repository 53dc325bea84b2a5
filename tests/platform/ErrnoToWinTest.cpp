#include "platform/ErrnoToWin.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using namespace Platform;

struct TErrnoCase {
    int err;
    DWORD atOpen;
    DWORD afterOpen;
};

// The same errno means "no such port" while opening and "the port went away" afterwards.
TEST(ErrnoToWin, MapsEachErrnoByStage) {
    const TErrnoCase cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {ENODEV, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
        {ENXIO, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
        {EACCES, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EBUSY, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EWOULDBLOCK, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE},
        {EBADF, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {EINVAL, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
        {EIO, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
        {EPIPE, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
        {ENOTTY, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        {EOPNOTSUPP, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        {ETIMEDOUT, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE},
        {0, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE},
    };
    for (const TErrnoCase& c : cases) {
        SCOPED_TRACE(c.err == 0 ? "0" : std::strerror(c.err));
        EXPECT_EQ(OpenErrnoToWinError(c.err), c.atOpen);
        EXPECT_EQ(ErrnoToWinError(c.err), c.afterOpen);
    }
}

} // namespace
