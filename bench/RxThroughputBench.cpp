// How many received bytes per second reach the owner: a writer thread floods the master of a
// pseudo-terminal; the port's OnRxChar handler on the Qt UI thread reads each announced count
// (default events, smThreadSync, default input queue: 1024 asked, 4 KiB given, filled in 4 KiB
// reads), against a plain poll/read loop on the same kind of pty, in one run. The bytes follow a
// fixed pattern that the reader checks byte by byte, with a running checksum compared against
// the pattern's own, so a byte lost, doubled or out of order is counted, not just timed. The
// reading thread's CPU time per MiB tells what the port itself costs, which load from elsewhere
// hardly changes.
// Also run: the port with a 64 KiB input queue (each hand-over then carries what has piled up
// while the last one was handled), and how many bytes a pty holds for a reader that does not
// read.
// Run: build/bench/rx_throughput_bench [MiB per run] [rounds]

#include "bench/BenchProc.h"
#include "bench/BenchPty.h"
#include "controls/UiHandOver.h"
#include "serial/ComPort.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t WriteChunk = 4096;
constexpr size_t Period = 251; // byte k is k mod 251; a prime, so no chunk size hides a slip

// Byte k of the flood is k % Period; the checksum is FNV-1a over every byte in order.
class TPatternCheck {
public:
    void Take(const unsigned char* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] != m_next)
                ++wrong;
            m_next = m_next + 1 == Period ? 0 : m_next + 1;
            checksum = (checksum ^ bytes[i]) * 1099511628211ull;
        }
        count += n;
    }
    uint64_t count = 0;
    uint64_t wrong = 0;
    uint64_t checksum = 14695981039346656037ull;

private:
    unsigned m_next = 0;
};

// The far end: writes `total` bytes of the pattern in 4 KiB writes, as fast as the pty takes
// them (waiting in poll while it is full).
class TFlood {
public:
    TFlood(int master, uint64_t total) {
        for (size_t i = 0; i < WriteChunk + Period; ++i)
            m_pattern.push_back(static_cast<unsigned char>(i % Period));
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        m_thread = std::thread([this, master, total] {
            m_tid = gettid();
            uint64_t sent = 0;
            while (sent < total && !m_stop) {
                const size_t n = size_t(std::min<uint64_t>(WriteChunk, total - sent));
                const unsigned char* from = &m_pattern[sent % Period];
                const ssize_t done = write(master, from, n);
                if (done > 0) {
                    sent += uint64_t(done);
                } else if (done < 0 && errno == EAGAIN) {
                    pollfd sink{master, POLLOUT, 0};
                    poll(&sink, 1, 100);
                } else {
                    std::abort();
                }
            }
            // Stays until joined, so that its context switches can be told from the reader's.
            std::unique_lock lock(m_mutex);
            m_joining.wait(lock, [this] { return m_join; });
        });
    }
    // The writer's own context switches so far.
    long Switches() const { return BenchProc::TaskContextSwitches(getpid(), m_tid); }
    // Waits for the writer; with `abandon` it stops wherever it is (the reader gave up).
    void Join(bool abandon) {
        m_stop = abandon;
        {
            std::lock_guard lock(m_mutex);
            m_join = true;
        }
        m_joining.notify_one();
        m_thread.join();
    }

private:
    std::vector<unsigned char> m_pattern;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<pid_t> m_tid{0};
    std::mutex m_mutex;
    std::condition_variable m_joining;
    bool m_join = false;
};

// The checksum of the first `total` bytes of the pattern: what the reader must arrive at. Worked
// out before the clock starts, so that the writer does nothing but write.
uint64_t ExpectedChecksum(uint64_t total) {
    std::vector<unsigned char> pattern;
    for (size_t i = 0; i < WriteChunk + Period; ++i)
        pattern.push_back(static_cast<unsigned char>(i % Period));
    TPatternCheck check;
    for (uint64_t done = 0; done < total;) {
        const size_t n = size_t(std::min<uint64_t>(WriteChunk, total - done));
        check.Take(&pattern[done % Period], n);
        done += n;
    }
    return check.checksum;
}

// CPU seconds of the calling thread so far.
double ThreadCpu() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct TRun {
    double seconds = 0;
    uint64_t bytes = 0, wrong = 0, reads = 0;
    long switches = 0;    // context switches of the reading side (all threads but the writer)
    double readerCpu = 0; // CPU seconds of the thread that takes the bytes (the UI thread)
    bool checksumOk = false;
    double MBps() const { return double(bytes) / seconds / 1e6; }
};

TRun PlainLoop(uint64_t total, uint64_t expected) {
    TPty pty;
    TPatternCheck got;
    TRun run;
    std::vector<unsigned char> buffer(65536);
    const long switches = BenchProc::ContextSwitches(getpid());
    const double cpu = ThreadCpu();
    const auto start = Clock::now();
    TFlood flood(pty.master, total);
    int quiet = 0;
    while (got.count < total && quiet < 5) {
        pollfd source{pty.slave, POLLIN, 0};
        if (poll(&source, 1, 1000) <= 0) {
            ++quiet; // nothing for five seconds ends the run: bytes were lost
            continue;
        }
        quiet = 0;
        const ssize_t n = read(pty.slave, buffer.data(), buffer.size());
        if (n > 0) {
            got.Take(buffer.data(), size_t(n));
            ++run.reads;
        }
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.readerCpu = ThreadCpu() - cpu;
    run.switches = BenchProc::ContextSwitches(getpid()) - switches - flood.Switches();
    flood.Join(got.count < total);
    run.bytes = got.count;
    run.wrong = got.wrong;
    run.checksumOk = got.count == total && got.checksum == expected;
    return run;
}

TRun ThroughComPort(uint64_t total, uint64_t expected, int32_t inputSize) {
    TPty pty;
    TPatternCheck got;
    TRun run;
    TComPort port(nullptr);
    port.SetPort(pty.path);
    if (inputSize > 0)
        port.Buffer().SetInputSize(inputSize);
    std::vector<unsigned char> buffer(65536);
    port.OnRxChar = [&](TObject*, int32_t count) {
        if (size_t(count) > buffer.size())
            buffer.resize(size_t(count));
        const int32_t n = port.Read(buffer.data(), count);
        if (n > 0)
            got.Take(buffer.data(), size_t(n));
        ++run.reads;
        if (got.count >= total)
            QCoreApplication::quit();
    };
    port.Open();
    // Nothing new for five seconds ends the run: bytes were lost.
    uint64_t seen = 0;
    int quiet = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        quiet = got.count == seen ? quiet + 1 : 0;
        seen = got.count;
        if (quiet >= 5)
            QCoreApplication::quit();
    });
    watchdog.start(1000);
    const long switches = BenchProc::ContextSwitches(getpid());
    const double cpu = ThreadCpu();
    const auto start = Clock::now();
    TFlood flood(pty.master, total);
    QCoreApplication::exec();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.readerCpu = ThreadCpu() - cpu;
    run.switches = BenchProc::ContextSwitches(getpid()) - switches - flood.Switches();
    port.Close();
    flood.Join(got.count < total);
    run.bytes = got.count;
    run.wrong = got.wrong;
    run.checksumOk = got.count == total && got.checksum == expected;
    return run;
}

// Bytes a pty takes from the master before a write would block, with nobody reading the slave.
size_t PtyCapacity() {
    TPty pty;
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    std::vector<char> chunk(1024, 'x');
    size_t held = 0;
    for (int idle = 0; idle < 20;) {
        const ssize_t n = write(pty.master, chunk.data(), chunk.size());
        if (n > 0) {
            held += size_t(n);
            idle = 0;
        } else {
            ++idle; // the line discipline moves bytes on from a worker: give it a moment
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return held;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    InstallUiHandOver();
    const uint64_t mib = argc > 1 ? uint64_t(std::atoll(argv[1])) : 64;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const uint64_t total = mib << 20;

    const char* names[] = {"plain poll/read loop (64 KiB reads)", "TComPort OnRxChar, UI thread",
                           "TComPort OnRxChar, 65536-byte queue"};
    const uint64_t expected = ExpectedChecksum(total);
    std::vector<TRun> runs[3];
    for (int round = 0; round < rounds; ++round) {
        runs[0].push_back(PlainLoop(total, expected));
        runs[1].push_back(ThroughComPort(total, expected, 0));
        runs[2].push_back(ThroughComPort(total, expected, 65536));
    }

    std::printf("%llu MiB through a pty, median of %d runs each (runs interleaved)\n",
                static_cast<unsigned long long>(mib), rounds);
    std::printf("%-38s %10s %10s %14s %13s %13s %10s %8s\n", "", "MB/s", "x plain", "bytes/handler",
                "switches/KiB", "reader ms/MiB", "lost", "pattern");
    double plain = 0;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> rates, perRead, switches, cpu;
        uint64_t lost = 0, wrong = 0;
        bool checksums = true;
        for (const TRun& run : runs[c]) {
            rates.push_back(run.MBps());
            perRead.push_back(double(run.bytes) / double(std::max<uint64_t>(run.reads, 1)));
            switches.push_back(double(run.switches) * 1024 /
                               double(std::max<uint64_t>(run.bytes, 1)));
            cpu.push_back(run.readerCpu * 1e3 * double(1 << 20) /
                          double(std::max<uint64_t>(run.bytes, 1)));
            lost += total - run.bytes;
            wrong += run.wrong;
            checksums = checksums && run.checksumOk;
        }
        const double rate = Median(rates);
        if (c == 0)
            plain = rate;
        std::printf("%-38s %10.1f %10.2f %14.0f %13.2f %13.2f %10llu %8s\n", names[c], rate,
                    rate / plain, Median(perRead), Median(switches), Median(cpu),
                    static_cast<unsigned long long>(lost),
                    wrong == 0 && checksums ? "intact" : "BROKEN");
    }
    std::printf("a pty holds %zu bytes for a reader that does not read\n", PtyCapacity());
    std::printf("a 115200 bit/s line carries 11520 bytes/s (0.0115 MB/s)\n");
    return 0;
}
