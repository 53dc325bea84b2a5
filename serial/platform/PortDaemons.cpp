#include "serial/platform/PortDaemons.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace Platform {

namespace {

// /proc comes from the kernel, a test's stand-in from anywhere: both are read with bounds.
constexpr int kMaxProcesses = 1 << 20;
constexpr size_t kMaxComm = 64;

bool AllDigits(const char* name) {
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name)
        if (!std::isdigit(static_cast<unsigned char>(*name)))
            return false;
    return true;
}

// The process's command name, empty when it cannot be read. Neither the process folder nor its
// comm may be a link: a stand-in could lead anywhere through one.
std::string CommOf(int procFd, const char* pid) {
    const int folder = ::openat(procFd, pid, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return {};
    const int comm = ::openat(folder, "comm", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(folder);
    if (comm < 0)
        return {};
    char buffer[kMaxComm];
    const ssize_t n = ::read(comm, buffer, sizeof buffer);
    ::close(comm);
    std::string name(buffer, size_t(n > 0 ? n : 0));
    if (const size_t end = name.find('\n'); end != std::string::npos)
        name.resize(end);
    return name;
}

bool HasPrefix(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TPortDaemons RunningPortDaemons(const std::string& procRoot) {
    TPortDaemons found;
    DIR* proc = ::opendir(procRoot.c_str());
    if (proc == nullptr)
        return found;
    const int procFd = ::dirfd(proc);
    int seen = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (++seen > kMaxProcesses || (found.modemManager && found.brltty))
            break;
        if (!AllDigits(entry->d_name))
            continue;
        const std::string comm = CommOf(procFd, entry->d_name);
        found.modemManager = found.modemManager || comm == "ModemManager";
        found.brltty = found.brltty || comm == "brltty";
    }
    ::closedir(proc);
    return found;
}

bool IsUsbSerialPort(const std::string& devicePath, const std::string& sysRoot) {
    // A link such as a udev rule's names the device it leads to; a vanished device keeps its
    // own name.
    std::string name = BaseName(devicePath);
    if (char resolved[PATH_MAX]; ::realpath(devicePath.c_str(), resolved) != nullptr)
        name = BaseName(resolved);
    if (HasPrefix(name, "ttyUSB") || HasPrefix(name, "ttyACM"))
        return true;
    if (name.empty() || name == "." || name == "..")
        return false;
    char target[PATH_MAX];
    const std::string subsystem = sysRoot + "/class/tty/" + name + "/device/subsystem";
    const ssize_t n = ::readlink(subsystem.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    const std::string bus = BaseName(std::string(target, size_t(n)));
    return bus == "usb" || bus == "usb-serial";
}

} // namespace Platform
