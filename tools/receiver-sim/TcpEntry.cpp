#include "tools/receiver-sim/TcpEntry.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ReceiverSim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

bool WriteAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += size_t(n);
    }
    return true;
}

// Equal texts of equal length, in a time that does not tell how much of them matched.
bool SameSecret(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace

std::string MakeSecret() {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Fail("cannot open /dev/urandom");
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            Fail("cannot read /dev/urandom");
        }
        got += size_t(n);
    }
    ::close(fd);
    static const char digits[] = "0123456789abcdef";
    std::string secret;
    for (unsigned char byte : bytes) {
        secret += digits[byte >> 4];
        secret += digits[byte & 0xF];
    }
    return secret;
}

int ListenOnLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        Fail("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void PublishTcpFile(const std::string& path, uint16_t port, const std::string& secret,
                    ino_t& inode) {
    std::string temporary = path + ".new-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // 0600, made new
    if (fd < 0)
        Fail("cannot make " + path);
    struct stat info {};
    const bool written = ::fchmod(fd, 0600) == 0 &&
                         WriteAll(fd, std::to_string(port) + " " + secret + "\n") &&
                         ::fstat(fd, &info) == 0;
    const int saved = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameError = written ? errno : saved;
        ::unlink(temporary.c_str());
        errno = renameError;
        Fail("cannot publish " + path);
    }
    inode = info.st_ino;
}

void RemoveTcpFileIfOurs(const std::string& path, ino_t inode) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_ino == inode)
        ::unlink(path.c_str());
}

size_t TSecretCheck::Feed(const char* data, size_t count) {
    size_t used = 0;
    while (used < count && m_state == TState::Waiting) {
        const char c = data[used++];
        if (c == '\n') {
            m_state = SameSecret(m_line, m_expected) ? TState::Accepted : TState::Refused;
        } else if (m_line.size() >= kMaxLineLength) {
            m_state = TState::Refused;
        } else {
            m_line.push_back(c);
        }
    }
    return used;
}

} // namespace ReceiverSim
