#include "serial/platform/OpenFailure.h"

#include "serial/platform/PortDaemons.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {

namespace {

thread_local std::optional<TOpenFailure> LastFailure;

// /proc/locks and /proc/<pid>/comm come from the kernel, yet are read with bounds all the same.
constexpr int kMaxLockLines = 100000;
constexpr size_t kMaxCommand = 64;

struct TLockKey {
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
};

// A line of /proc/locks: "3: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF" (device numbers in
// hex). Waiters ("3: -> FLOCK ...") hold nothing and do not parse. The holder's pid; 0 when the
// line is no lock on `key` or its pid is not known here (an open file description lock, a
// process of another pid namespace).
long HolderOnLine(const char* line, const TLockKey& key) {
    char kind[16], mode[16], access[16];
    long pid = 0;
    unsigned major = 0, minor = 0;
    unsigned long inode = 0;
    if (std::sscanf(line, "%*d: %15s %15s %15s %ld %x:%x:%lu", kind, mode, access, &pid, &major,
                    &minor, &inode) != 7) {
        return 0;
    }
    if (major != key.major || minor != key.minor || inode != key.inode) {
        return 0;
    }
    return pid > 0 ? pid : 0;
}

std::string CommandOf(long pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/comm";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return {};
    }
    char buffer[kMaxCommand];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    std::string command;
    for (ssize_t i = 0; i < n && buffer[i] != '\n'; ++i) {
        const unsigned char c = static_cast<unsigned char>(buffer[i]);
        command.push_back(c >= 0x20 && c < 0x7F ? char(c) : '?');
    }
    return command;
}

void FindHolder(const struct stat& device, TOpenFailure& failure) {
    const TLockKey key{::major(device.st_dev), ::minor(device.st_dev),
                       static_cast<unsigned long>(device.st_ino)};
    FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) {
        return;
    }
    char line[256];
    for (int count = 0; count < kMaxLockLines && std::fgets(line, sizeof line, locks); ++count) {
        if (const long pid = HolderOnLine(line, key); pid > 0) {
            failure.holderPid = pid;
            failure.holderCommand = CommandOf(pid);
            break;
        }
        // A line longer than the buffer goes on in the next fgets: skip its rest.
        while (std::strchr(line, '\n') == nullptr && std::fgets(line, sizeof line, locks)) {
        }
    }
    std::fclose(locks);
}

} // namespace

std::optional<TOpenFailure> LastOpenFailure() {
    return LastFailure;
}

void ClearOpenFailure() {
    LastFailure.reset();
}

TOpenFailureReason ReasonOf(const TOpenFailure& failure) {
    TOpenFailureReason reason;
    reason.path = failure.path;
    reason.call = failure.call;
    reason.systemText = std::strerror(failure.err);
    reason.holderPid = failure.holderPid;
    reason.holderCommand = failure.holderCommand;
    reason.daemons = failure.daemons;
    if (failure.call == "owner") {
        reason.kind = TOpenFailureKind::NotOwn;
        return reason;
    }
    switch (failure.err) {
    case EACCES:
    case EPERM: reason.kind = TOpenFailureKind::Permission; break;
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV: reason.kind = TOpenFailureKind::Missing; break;
    case EAGAIN: // also EWOULDBLOCK: the port's lock is held
    case EBUSY: reason.kind = TOpenFailureKind::Busy; break;
    case ENOTTY: reason.kind = TOpenFailureKind::NotATerminal; break;
    default: reason.kind = TOpenFailureKind::Other; break;
    }
    return reason;
}

void RecordOpenFailure(const std::string& path, const char* call, int err, int fd) {
    TOpenFailure failure;
    failure.path = path;
    failure.call = call;
    failure.err = err;
    if (err == EWOULDBLOCK || err == EBUSY) {
        struct stat device {};
        if (fd >= 0 ? ::fstat(fd, &device) == 0 : ::stat(path.c_str(), &device) == 0) {
            FindHolder(device, failure);
        }
    }
    // A program that took the adapter explains a USB port that is busy, vanished or refused.
    if (std::string(call) != "owner" && IsUsbSerialPort(path)) {
        failure.daemons = RunningPortDaemons();
    }
    LastFailure = std::move(failure);
}

} // namespace Platform
