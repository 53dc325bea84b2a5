#pragma once
// The real simulator process for tests, and the two ends a program would hold: the port,
// opened through the published link as Vell Writer opens it, and a transfer client on the
// socket. Every wait is bounded; a wait that runs out leaves the test to fail on what came.

#include "tests/support/ChildProcess.h"
#include "tests/support/Crc32.h"
#include "tests/support/Files.h"
#include "tests/support/WaitUntil.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace SimTest {

using namespace std::chrono_literals;
using TestSupport::Crc32;
using TestSupport::kPatience;
using TestSupport::WaitUntil;

class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> args = {}) {
        char folder[] = "/tmp/receiver-sim-test-XXXXXX";
        if (::mkdtemp(folder) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_folder = folder;
        m_runtime = m_folder + "/rt";
        std::filesystem::create_directory(m_runtime);
        m_output = m_folder + "/console.txt";
        m_log = m_folder + "/sim.log";
        args.insert(args.begin(), {RECEIVER_SIM_EXE, "--log", m_log});
        if (::access(RECEIVER_SIM_EXE, X_OK) != 0)
            throw std::runtime_error("the simulator is not built: " RECEIVER_SIM_EXE);
        m_process = std::make_unique<TestSupport::TChildProcess>(
            args, TestSupport::TEnvironment{{"XDG_RUNTIME_DIR", m_runtime}},
            TestSupport::TChildStreams{.inputPipe = true,
                                       .outputFile = m_output,
                                       .appendOutput = false,
                                       .errorToOutput = true});
    }
    ~TSimProcess() {
        m_process.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    std::string PortsFolder() const { return m_runtime + "/vell-writer/ports"; }
    std::string Link() const { return PortsFolder() + "/recv0"; }
    std::string Socket() const { return Link() + ".transfer"; }
    std::string TcpFile() const { return Link() + ".tcp"; }
    std::string LptFifo() const { return Link() + ".lpt"; }

    // The link appears last, once the socket listens too.
    bool WaitPublished() {
        return WaitUntil([&] { return Exists(Link()) || !Running(); });
    }

    void Command(const std::string& line) { ASSERT_TRUE(m_process->Write(line + "\n")) << line; }

    std::string Output() const { return Read(m_output); }
    std::string Log() const { return Read(m_log); }
    static std::string Read(const std::string& path) { return TestSupport::ReadFile(path); }
    bool WaitForOutput(const std::string& text) {
        return WaitUntil([&] { return Output().find(text) != std::string::npos; });
    }

    bool Running() { return m_process->Running(); }
    void Signal(int signal) { m_process->Signal(signal); }
    // The exit code, or -1 if it did not end in time (it is then killed) or ended by a signal.
    int WaitExit() { return m_process->WaitExit(); }

    static bool Exists(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }

private:
    std::string m_folder;
    std::string m_runtime;
    std::string m_output;
    std::string m_log;
    std::unique_ptr<TestSupport::TChildProcess> m_process;
};

// The program's end of the line: the pseudo-terminal slave, opened through the virtual port.
class TPortEnd {
public:
    explicit TPortEnd(const std::string& link) {
        m_fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error("cannot open " + link + ": " + std::strerror(errno));
    }
    ~TPortEnd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Fd() const { return m_fd; }

    // All of `bytes`, waiting while the line is full; each call is one write where it fits.
    void Send(const std::string& bytes) {
        size_t sent = 0;
        const bool done = WaitUntil([&] {
            const ssize_t n = ::write(m_fd, bytes.data() + sent, bytes.size() - sent);
            if (n > 0)
                sent += size_t(n);
            else if (n < 0 && errno != EAGAIN)
                return true;
            return sent == bytes.size();
        });
        ASSERT_TRUE(done && sent == bytes.size()) << "port write stuck: " << std::strerror(errno);
    }

    // Everything up to and including the first `text` still unread; what follows it is kept
    // for the next call. On a time-out, whatever came.
    std::string ReadThrough(const std::string& text) {
        WaitUntil([&] {
            Pump();
            return m_got.find(text) != std::string::npos;
        });
        const size_t at = m_got.find(text);
        const size_t end = at == std::string::npos ? m_got.size() : at + text.size();
        std::string through = m_got.substr(0, end);
        m_got.erase(0, end);
        return through;
    }
    // Exactly `count` bytes, or fewer on a time-out.
    std::string Read(size_t count) {
        WaitUntil([&] {
            Pump();
            return m_got.size() >= count;
        });
        std::string head = m_got.substr(0, count);
        m_got.erase(0, head.size());
        return head;
    }

private:
    void Pump() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_got.append(buffer, size_t(n));
    }

    int m_fd = -1;
    std::string m_got;
};

// A transfer program: one connection, one image; on the Unix socket, or on the loopback TCP
// port (the way in of a Windows transfer program under Wine).
class TTransferClient {
public:
    explicit TTransferClient(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        Connect(reinterpret_cast<const sockaddr*>(&address), sizeof address, path);
    }
    explicit TTransferClient(uint16_t tcpPort) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(tcpPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Connect(reinterpret_cast<const sockaddr*>(&address), sizeof address,
                "127.0.0.1:" + std::to_string(tcpPort));
    }
    ~TTransferClient() { ::close(m_fd); }

    void Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            ASSERT_GT(n, 0) << std::strerror(errno);
            sent += size_t(n);
        }
    }
    // The next line without its "\n"; empty at the end of the connection or on a time-out.
    std::string ReadLine() {
        size_t end;
        while ((end = m_got.find('\n')) == std::string::npos) {
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return {};
            m_got.append(buffer, size_t(n));
        }
        std::string line = m_got.substr(0, end);
        m_got.erase(0, end + 1);
        return line;
    }
    // Lines until one that does not start with PROGRESS: the answer to the image.
    std::string Answer() {
        std::string line;
        do
            line = ReadLine();
        while (line.rfind("PROGRESS ", 0) == 0);
        return line;
    }

private:
    void Connect(const sockaddr* address, socklen_t size, const std::string& name) {
        if (m_fd < 0 || ::connect(m_fd, address, size) != 0)
            throw std::runtime_error("cannot connect to " + name + ": " + std::strerror(errno));
        const timeval patience{std::chrono::duration_cast<std::chrono::seconds>(kPatience).count(),
                               0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    }

    int m_fd = -1;
    std::string m_got;
};

// A transfer program on the parallel cable: a writer of the simulator's FIFO, without blocking
// (the simulator keeps a reader open, so the open cannot fail for want of one).
class TLptWriter {
public:
    explicit TLptWriter(const std::string& fifo) {
        m_fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error("cannot open " + fifo + ": " + std::strerror(errno));
    }
    ~TLptWriter() { ::close(m_fd); }
    TLptWriter(const TLptWriter&) = delete;
    TLptWriter& operator=(const TLptWriter&) = delete;
    // All of `bytes`, waiting while the FIFO is full.
    void Send(const std::string& bytes) {
        size_t sent = 0;
        const bool done = WaitUntil([&] {
            const ssize_t n = ::write(m_fd, bytes.data() + sent, bytes.size() - sent);
            if (n > 0)
                sent += size_t(n);
            return sent == bytes.size() || (n < 0 && errno != EAGAIN);
        });
        ASSERT_TRUE(done && sent == bytes.size()) << "FIFO write stuck: " << std::strerror(errno);
    }

private:
    int m_fd = -1;
};

} // namespace SimTest
