#pragma once
// A pseudo-terminal pair for tests: the port opens the slave by its path, the test plays the
// far end on the master.

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

class TPtyPair {
public:
    TPtyPair() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        // Keep the slave open here too, so the line does not hang up between the port's opens.
        m_slave = slave;
        m_path = name;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~TPtyPair() {
        CloseMaster();
        if (m_slave >= 0)
            close(m_slave);
    }
    const std::string& Path() const { return m_path; }
    int Master() const { return m_master; }

    void Send(const std::string& bytes) const {
        if (write(m_master, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            throw std::runtime_error("write to pty master failed");
    }
    // Reads until `count` bytes came or `milliseconds` passed.
    std::string Receive(size_t count, int milliseconds = 2000) const {
        std::string got;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd source{m_master, POLLIN, 0};
            if (poll(&source, 1, 50) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, size_t(n));
        }
        return got;
    }
    void CloseMaster() {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }
    void CloseSlave() {
        if (m_slave >= 0)
            close(m_slave);
        m_slave = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
