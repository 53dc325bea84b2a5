// A write-then-read round trip on a pseudo-terminal: 16 bytes out through the port, echoed by
// the far end, 16 bytes back. Once through TComPort, once through a plain poll/read/write loop
// on the same kind of pty, side by side; prints median, 99th percentile and their ratio.
// Run: build/bench/round_trip_bench [exchanges]

#include "serial/ComPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string Message = "0123456789ABCDEF";

// The far end: echoes whatever arrives on the master until told to stop.
class TEcho {
public:
    TEcho() {
        char name[256] = {};
        openpty(&m_master, &m_slave, name, nullptr, nullptr);
        m_path = name;
        cfmakeraw_slave();
        m_thread = std::thread([this] { Run(); });
    }
    TEcho(const TEcho&) = delete; // owns the pty's descriptors and the echo thread
    TEcho& operator=(const TEcho&) = delete;
    ~TEcho() {
        m_stop = true;
        m_thread.join();
        close(m_master);
        close(m_slave);
    }
    const std::string& Path() const { return m_path; }
    int Slave() const { return m_slave; }

private:
    void cfmakeraw_slave() {
        termios raw{};
        tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
    }
    void Run() {
        char buffer[256];
        while (!m_stop) {
            pollfd source{m_master, POLLIN, 0};
            if (poll(&source, 1, 50) <= 0)
                continue;
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0 && write(m_master, buffer, size_t(n)) != n)
                return;
        }
    }
    int m_master = -1, m_slave = -1;
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct TFigures {
    double median, p99;
};

TFigures Summarise(std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

std::vector<double> PlainLoop(int exchanges) {
    TEcho echo;
    const int fd = echo.Slave();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::vector<double> micros;
    char buffer[64];
    for (int i = 0; i < exchanges; ++i) {
        const auto start = Clock::now();
        if (write(fd, Message.data(), Message.size()) != ssize_t(Message.size()))
            std::abort();
        size_t got = 0;
        while (got < Message.size()) {
            pollfd source{fd, POLLIN, 0};
            poll(&source, 1, 1000);
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0)
                got += size_t(n);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return micros;
}

std::vector<double> ThroughPort(int exchanges) {
    TEcho echo;
    TComPort port(nullptr);
    port.SetPort(echo.Path());
    port.Events = TComEvents();
    // A read waits for its bytes, up to a second.
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalC(1000);
    port.Open();
    std::vector<double> micros;
    char buffer[64];
    for (int i = 0; i < exchanges; ++i) {
        const auto start = Clock::now();
        port.Write(Message.data(), int32_t(Message.size()));
        int32_t got = 0;
        while (got < int32_t(Message.size()))
            got += port.Read(buffer, int32_t(Message.size()) - got);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    port.Close();
    return micros;
}

} // namespace

int main(int argc, char** argv) {
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::vector<double> plain = PlainLoop(exchanges);
    std::vector<double> ours = ThroughPort(exchanges);
    const TFigures p = Summarise(plain);
    const TFigures o = Summarise(ours);
    std::printf("16-byte round trips on a pty, %d exchanges each\n", exchanges);
    std::printf("%-28s %10s %10s\n", "", "median us", "p99 us");
    std::printf("%-28s %10.1f %10.1f\n", "plain poll/read/write loop", p.median, p.p99);
    std::printf("%-28s %10.1f %10.1f\n", "TComPort Write + Read", o.median, o.p99);
    std::printf("%-28s %10.2f %10.2f\n", "ratio (TComPort / plain)", o.median / p.median,
                o.p99 / p.p99);
    return 0;
}
