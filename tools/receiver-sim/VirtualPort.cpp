#include "tools/receiver-sim/VirtualPort.h"

#include "serial/platform/PortPaths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace ReceiverSim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

std::string EnsurePortsFolder() {
    std::string problem;
    const std::string folder = Platform::TrustedPortsFolder(true, &problem);
    if (folder.empty())
        throw std::runtime_error("the ports folder is not safe to use: " + problem);
    return folder;
}

bool IsValidPortName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name == "." || name == "..")
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

TPseudoTerminal::TPseudoTerminal() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        Fail("posix_openpt");
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        const int saved = errno;
        Close();
        errno = saved;
        Fail("grantpt/unlockpt");
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        const int saved = errno;
        Close();
        errno = saved;
        Fail("ptsname");
    }
    m_slavePath = name;
    m_heldSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_heldSlave < 0) {
        const int saved = errno;
        Close();
        errno = saved;
        Fail("cannot open " + m_slavePath);
    }
    // Raw: a receiver's line carries bytes, not a terminal's lines; no echo of what the port
    // writes, no CR/LF rewriting, no signal characters.
    termios line{};
    if (::tcgetattr(m_heldSlave, &line) == 0) {
        ::cfmakeraw(&line);
        ::tcsetattr(m_heldSlave, TCSANOW, &line);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

TPseudoTerminal::~TPseudoTerminal() {
    Close();
}

void TPseudoTerminal::Close() {
    if (m_heldSlave >= 0)
        ::close(m_heldSlave);
    if (m_master >= 0)
        ::close(m_master);
    m_heldSlave = -1;
    m_master = -1;
}

void PublishLink(const std::string& path, const std::string& target) {
    const std::string temporary = path + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0)
        Fail("cannot make link " + temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        Fail("cannot publish " + path);
    }
}

void RemoveLinkIfOurs(const std::string& path, const std::string& target) {
    char pointee[256] = {};
    const ssize_t length = ::readlink(path.c_str(), pointee, sizeof pointee - 1);
    if (length > 0 && std::string(pointee, static_cast<size_t>(length)) == target)
        ::unlink(path.c_str());
}

bool SocketAnswers(const std::string& path) {
    sockaddr_un address{};
    if (!FillAddress(path, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

int ListenOnSocket(const std::string& path, ino_t& inode) {
    sockaddr_un address{};
    if (!FillAddress(path, address)) {
        errno = ENAMETOOLONG;
        Fail("socket path " + path);
    }
    // A socket file nobody listens on is what a killed simulator leaves; the caller has made
    // sure no live one is there.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail("socket");
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || ::lstat(path.c_str(), &info) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        Fail("cannot listen on " + path);
    }
    inode = info.st_ino;
    return fd;
}

void RemoveSocketIfOurs(const std::string& path, ino_t inode) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == inode)
        ::unlink(path.c_str());
}

} // namespace ReceiverSim
