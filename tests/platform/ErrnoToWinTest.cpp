#include "serial/platform/ErrnoToWin.h"

#include "serial/platform/CommApi.h"
#include "serial/platform/OpenFailure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace Platform;
namespace fs = std::filesystem;

// What a caller of the port layer sees for one failed open: the Windows code and the errno
// behind it.
struct TOpenResult {
    DWORD error = ERROR_SUCCESS;
    int err = 0;
};

TOpenResult TryOpen(const std::string& path) {
    TOpenResult result;
    if (CreateFile(("\\\\.\\" + path).c_str()) != INVALID_HANDLE_VALUE) {
        return result;
    }
    result.error = GetLastError();
    if (const std::optional<TOpenFailure> failure = LastOpenFailure()) {
        result.err = failure->err;
    }
    return result;
}

bool WriteFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) {
        ::close(fd);
    }
    return written;
}

// A private mount namespace for this process, so that what it mounts is seen by no one else:
// as root directly, otherwise inside a user namespace of its own.
bool PrivateMounts() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            !WriteFile("/proc/self/setgroups", "deny") ||
            !WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return false;
        }
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Opens a regular file on a file system mounted read-only at `folder`, in a child with mounts
// of its own. Nothing when such a mount cannot be made here.
std::optional<TOpenResult> TryOpenOnReadOnlyFileSystem(const std::string& folder) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        const std::string port = folder + "/port";
        TOpenResult result{ERROR_SUCCESS, -1};
        if (PrivateMounts() && ::mount("vell-ro", folder.c_str(), "tmpfs", 0, "size=64k") == 0) {
            const int fd = ::open(port.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            if (fd >= 0 && ::close(fd) == 0 &&
                ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) {
                result = TryOpen(port);
            }
        }
        [[maybe_unused]] const ssize_t n = ::write(pipe[1], &result, sizeof result);
        ::_exit(0);
    }
    ::close(pipe[1]);
    TOpenResult result{ERROR_SUCCESS, -1};
    const bool read = child > 0 && ::read(pipe[0], &result, sizeof result) == sizeof result;
    ::close(pipe[0]);
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    if (!read || result.err == -1) {
        return std::nullopt;
    }
    return result;
}

// Opens that fail for each reason the system gives, through the real open. A name that leads
// nowhere is "no such port" (ERROR_FILE_NOT_FOUND), as Windows answers for a COM port it does
// not have; something that is there but no terminal is "not supported"; one the user may not
// write is "access denied", as Windows answers for a read-only file opened for writing.
TEST(ErrnoToWin, FailedOpensSayWhatTheCallerCanActOn) {
    char pattern[] = "/tmp/vell-errno-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string tmp = pattern;
    const std::string regular = tmp + "/regular";
    ASSERT_TRUE(::close(::open(regular.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)) == 0);
    fs::create_symlink(tmp + "/loop", tmp + "/loop");
    fs::create_directory(tmp + "/ro");

    struct TRow {
        std::string what;
        std::string path;
        int err;
        DWORD error;
    };
    std::vector<TRow> rows = {
        {"missing", tmp + "/none", ENOENT, ERROR_FILE_NOT_FOUND},
        {"under a regular file", regular + "/port", ENOTDIR, ERROR_FILE_NOT_FOUND},
        {"a link that leads to itself", tmp + "/loop", ELOOP, ERROR_FILE_NOT_FOUND},
        {"a name too long for the system", tmp + "/" + std::string(300, 'n'), ENAMETOOLONG,
         ERROR_FILE_NOT_FOUND},
        {"a folder", tmp, EISDIR, ERROR_NOT_SUPPORTED},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        const TOpenResult seen = TryOpen(row.path);
        EXPECT_EQ(seen.err, row.err) << std::strerror(seen.err);
        EXPECT_EQ(seen.error, row.error);
    }

    const std::optional<TOpenResult> readOnly = TryOpenOnReadOnlyFileSystem(tmp + "/ro");
    if (readOnly) {
        EXPECT_EQ(readOnly->err, EROFS) << std::strerror(readOnly->err);
        EXPECT_EQ(readOnly->error, ERROR_ACCESS_DENIED);
    } else {
        std::cout << "[   NOTE   ] no read-only mount here: EROFS is checked by its row in "
                     "ErrnoToWin.ErrorsNotProvokedHere only\n";
    }
    fs::remove_all(tmp);
}

// What the opens above cannot provoke on every machine: a device whose driver or adapter is
// absent or went away, another program's exclusive use, a read-only file system, and the
// layer's own faults. Each expected code is what the Windows error means to the port
// component, not a copy of the layer's table.
TEST(ErrnoToWin, ErrorsNotProvokedHere) {
    const struct {
        int err;
        DWORD atOpen;
        DWORD afterOpen;
    } rows[] = {
        // A device node without its driver or hardware is no port; once open, it was
        // unplugged: the device is gone (ERROR_BAD_COMMAND), as Windows reports a removed
        // USB adapter.
        {ENODEV, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
        {ENXIO, ERROR_FILE_NOT_FOUND, ERROR_BAD_COMMAND},
        {EIO, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
        {EPIPE, ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
        // Not the user's to open, or in another program's hands: access denied, as Windows
        // answers for a COM port that is already open.
        {EACCES, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EBUSY, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {EROFS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        // The lock another handle holds; a later call never meets it as a refusal.
        {EWOULDBLOCK, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE},
        // There, but no terminal: the call is not supported on it.
        {ENOTTY, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        {EOPNOTSUPP, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
        // Faults of the caller or of the machine keep their Windows meaning.
        {EBADF, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        {EINVAL, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
        // Anything else is a general failure, never success.
        {ETIMEDOUT, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE},
        {0, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.err == 0 ? "0" : std::strerror(row.err));
        EXPECT_EQ(OpenErrnoToWinError(row.err), row.atOpen);
        EXPECT_EQ(ErrnoToWinError(row.err), row.afterOpen);
    }
}

} // namespace
