#include "system/UserFileWrite.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

// The reason a file at the name is refused; empty when it is a regular file of this user.
std::string Refusal(const struct stat& info) {
    if (S_ISLNK(info.st_mode))
        return "it is a link";
    if (!S_ISREG(info.st_mode))
        return "it is not a regular file";
    if (info.st_uid != ::geteuid())
        return "it belongs to another user";
    return {};
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

// A new file beside `path`, under a name no one holds; -1 with errno on failure.
int CreateBeside(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned> next{0};
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(::getpid()) + "." +
                    std::to_string(next++) + ".part";
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Closes a descriptor when the scope ends.
struct TFd {
    int fd;
    ~TFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool WriteUserFile(const std::string& path, const std::string& bytes, std::string& why) {
    // Looked at before it is opened: a device is never opened, a link never followed.
    struct stat named {};
    bool exists = true;
    if (::lstat(path.c_str(), &named) != 0) {
        if (errno != ENOENT) {
            why = SystemText(errno);
            return false;
        }
        exists = false;
    } else if (why = Refusal(named); !why.empty()) {
        return false;
    }
    // Opening proves the user may write the file; a new one is made so that no one else's can
    // take the name meanwhile. What the name held may have changed since lstat: the open
    // neither follows a link nor waits for a pipe, and fstat judges what was opened.
    const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const TFd target{exists ? ::open(path.c_str(), flags)
                            : ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644)};
    if (target.fd < 0) {
        why = errno == ELOOP ? "it is a link" : SystemText(errno);
        return false;
    }
    struct stat opened {};
    if (::fstat(target.fd, &opened) != 0) {
        why = SystemText(errno);
        return false;
    }
    if (why = Refusal(opened); !why.empty())
        return false;

    std::string temporary;
    bool written = false;
    {
        const TFd beside{CreateBeside(path, temporary)};
        if (beside.fd < 0) {
            why = SystemText(errno);
        } else if (::fchmod(beside.fd, opened.st_mode & 0777) != 0 || !WriteAll(beside.fd, bytes) ||
                   ::fsync(beside.fd) != 0) {
            why = SystemText(errno);
        } else {
            written = true;
        }
    }
    // The name must still hold the file that passed the checks when it is replaced.
    struct stat now {};
    if (written && (::lstat(path.c_str(), &now) != 0 || !SameFile(now, opened))) {
        why = "it was replaced while the log was written";
        written = false;
    }
    if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
        why = SystemText(errno);
        written = false;
    }
    if (!written) {
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        // A file made here and left empty goes again.
        if (!exists && ::lstat(path.c_str(), &now) == 0 && SameFile(now, opened))
            ::unlink(path.c_str());
    }
    return written;
}
