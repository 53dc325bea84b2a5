#pragma once
// A pseudo-terminal pair for tests: the port opens the slave by its path, the test plays the far
// end (the receiver) on the master. Failures throw, so a test that cannot get its pair fails
// instead of passing vacuously.

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

// The events that came on `fd` within `milliseconds`, 0 if none.
inline short WaitForEvents(int fd, short events, int milliseconds = 5000) {
    pollfd source{fd, events, 0};
    return ::poll(&source, 1, milliseconds) == 1 ? source.revents : 0;
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
        m_path = name;
        // The slave stays open here too, so that the line does not hang up between the port's
        // opens and bytes sent before the port opens wait for it.
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        // Writes that do not fit fail with EAGAIN instead of blocking the test (WaitForEvents
        // with POLLOUT waits for room).
        if (m_slave < 0 ||
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
            const std::runtime_error failure = SystemFailure("pseudo-terminal slave " + m_path);
            CloseSlave();
            CloseMaster();
            throw failure;
        }
    }
    ~TPtyPair() {
        CloseSlave();
        CloseMaster();
    }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const std::string& Path() const { return m_path; }
    // Terminal settings asked of the master are the slave's: what the port set on its line.
    int Master() const { return m_master; }

    void Send(const std::string& bytes) const {
        if (::write(m_master, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            throw SystemFailure("write to pseudo-terminal master");
    }
    // What the master receives, until `count` bytes came or `milliseconds` passed.
    std::string Receive(size_t count, int milliseconds = 5000) const {
        std::string got;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        char buffer[512];
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 ||
                (WaitForEvents(m_master, POLLIN, int(left.count())) & POLLIN) == 0)
                break;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, size_t(n));
            else if (n == 0 || errno != EAGAIN)
                break;
        }
        return got;
    }
    // Hangs the line up, as a pulled adapter would.
    void CloseMaster() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void CloseSlave() {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

private:
    static std::runtime_error SystemFailure(const std::string& what) {
        return std::runtime_error(what + ": " + std::strerror(errno));
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
