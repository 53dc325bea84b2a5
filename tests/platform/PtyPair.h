#pragma once
// A pseudo-terminal pair for tests: the master stays with the test (playing the receiver), the
// slave is opened by path as a serial port would be. Failures throw, so a test that cannot get
// its pair fails instead of passing vacuously.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace TestPty {

inline std::runtime_error SystemFailure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// The events that came on `fd` within five seconds, 0 if none.
inline short WaitFor(int fd, short events) {
    pollfd source{fd, events, 0};
    return ::poll(&source, 1, 5000) == 1 ? source.revents : 0;
}

class TPtyPair {
public:
    TPtyPair() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0) {
            const std::runtime_error failure = SystemFailure("pseudo-terminal pair");
            CloseMaster();
            throw failure;
        }
        m_slavePath = name;
    }
    ~TPtyPair() { CloseMaster(); }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    // Terminal settings asked of the master are the slave's: what the port set on its line.
    int Master() const { return m_master; }
    void CloseMaster() {
        if (m_master >= 0) {
            ::close(m_master);
        }
        m_master = -1;
    }
    void Send(const std::string& bytes) const {
        if (::write(m_master, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
            throw SystemFailure("write to pseudo-terminal master");
        }
    }
    // What the master receives, until `count` bytes came or nothing came for five seconds.
    std::string Receive(size_t count) const {
        std::string got;
        char buffer[512];
        ssize_t n = 0;
        while (got.size() < count && (WaitFor(m_master, POLLIN) & POLLIN) != 0 &&
               (n = ::read(m_master, buffer, sizeof buffer)) > 0) {
            got.append(buffer, size_t(n));
        }
        return got;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

} // namespace TestPty
