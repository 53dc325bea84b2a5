#pragma once
// The real simulator process for tests, and the two ends a program would hold: the port,
// opened through the published link as Vell Writer opens it, and a transfer client on the
// socket. Every wait is bounded; a wait that runs out leaves the test to fail on what came.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace SimTest {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
// Long enough for a loaded CI machine; only a failing test ever waits this long.
constexpr auto kPatience = 10s;

// Polls `done` until it holds or the patience runs out.
template <class TDone> bool WaitFor(TDone done, std::chrono::milliseconds patience = kPatience) {
    const auto deadline = TClock::now() + patience;
    while (!done()) {
        if (TClock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// CRC-32 computed bit by bit, apart from the simulator's table-driven one.
inline uint32_t ReferenceCrc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

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
        args.insert(args.begin(), {"--log", m_log});
        Spawn(args);
    }
    ~TSimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stdin >= 0)
            ::close(m_stdin);
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    std::string PortsFolder() const { return m_runtime + "/vell-writer/ports"; }
    std::string Link() const { return PortsFolder() + "/recv0"; }
    std::string Socket() const { return Link() + ".transfer"; }
    std::string TcpFile() const { return Link() + ".tcp"; }

    // The link appears last, once the socket listens too.
    bool WaitPublished() {
        return WaitFor([&] { return Exists(Link()) || !Running(); });
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(m_stdin, text.data(), text.size()), ssize_t(text.size())) << line;
    }

    std::string Output() const { return Read(m_output); }
    std::string Log() const { return Read(m_log); }
    static std::string Read(const std::string& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    bool WaitForOutput(const std::string& text) {
        return WaitFor([&] { return Output().find(text) != std::string::npos; });
    }

    bool Running() {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_status = status;
            return false;
        }
        return true;
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
    // The exit code, or -1 if it did not end in time (it is then killed) or ended by a signal.
    int WaitExit() {
        if (!WaitFor([&] { return !Running(); })) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

    static bool Exists(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }

private:
    void Spawn(const std::vector<std::string>& args) {
        const std::string exe = RECEIVER_SIM_EXE;
        if (::access(exe.c_str(), X_OK) != 0)
            throw std::runtime_error("the simulator is not built: " + exe);
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        m_stdin = input[1];

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

        std::vector<std::string> argStrings{exe};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : argStrings)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        std::vector<std::string> envStrings;
        for (char** entry = environ; *entry != nullptr; ++entry)
            if (std::strncmp(*entry, "XDG_RUNTIME_DIR=", 16) != 0)
                envStrings.emplace_back(*entry);
        envStrings.push_back("XDG_RUNTIME_DIR=" + m_runtime);
        std::vector<char*> envp;
        for (std::string& entry : envStrings)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        const int error =
            ::posix_spawn(&m_pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        if (error != 0)
            throw std::runtime_error("cannot start " + exe + ": " + std::strerror(error));
    }

    std::string m_folder;
    std::string m_runtime;
    std::string m_output;
    std::string m_log;
    pid_t m_pid = -1;
    int m_status = 0;
    int m_stdin = -1;
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
        const bool done = WaitFor([&] {
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
        WaitFor([&] {
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
        WaitFor([&] {
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

} // namespace SimTest
