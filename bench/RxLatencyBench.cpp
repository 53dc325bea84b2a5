// How soon a received byte reaches the window: from a byte written to the pty master to the
// port's OnRxChar handler running on the Qt UI thread (event thread, hand-over, event loop),
// against a plain poll loop reading the same kind of pty. Then the cost of an idle open port:
// context switches of every thread of the process over a quiet stretch (the target is 0).
// Run: QT_QPA_PLATFORM=offscreen build/bench/rx_latency_bench [exchanges] [idle seconds]

#include "bench/BenchPty.h"
#include "controls/UiHandOver.h"
#include "serial/ComPort.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One side stamps and writes a byte; the other signals when its handler has it.
class TArrivals {
public:
    void Arrived() {
        {
            std::lock_guard lock(m_mutex);
            ++m_count;
        }
        m_changed.notify_all();
    }
    void WaitFor(long count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_count >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    long m_count = 0;
};

std::vector<double> Measure(int master, int exchanges, TArrivals& arrivals) {
    std::vector<double> micros;
    for (int i = 0; i < exchanges; ++i) {
        const auto start = Clock::now();
        if (write(master, "A", 1) != 1)
            std::abort();
        arrivals.WaitFor(i + 1);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return micros;
}

std::vector<double> PlainLoop(int exchanges) {
    TPty pty;
    TArrivals arrivals;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[64];
        while (!stop) {
            pollfd source{pty.slave, POLLIN, 0};
            if (poll(&source, 1, 100) > 0 && read(pty.slave, buffer, sizeof buffer) > 0)
                arrivals.Arrived();
        }
    });
    std::vector<double> micros = Measure(pty.master, exchanges, arrivals);
    stop = true;
    reader.join();
    return micros;
}

std::vector<double> ThroughWindow(int exchanges) {
    TPty pty;
    TArrivals arrivals;
    TComPort port(nullptr);
    port.SetPort(pty.path);
    port.OnRxChar = [&](TObject*, int32_t count) {
        char buffer[64];
        port.Read(buffer, std::min<int32_t>(count, sizeof buffer));
        arrivals.Arrived();
    };
    port.Open();
    std::vector<double> micros;
    std::thread writer([&] {
        micros = Measure(pty.master, exchanges, arrivals);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    writer.join();
    port.Close();
    return micros;
}

long ProcessContextSwitches() {
    long total = 0;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    closedir(tasks);
    return total;
}

// Context switches per second of the whole process with the port open and the line quiet.
double IdleSwitches(int seconds) {
    TPty pty;
    TComPort port(nullptr);
    port.SetPort(pty.path);
    port.OnRxChar = [&](TObject*, int32_t) {};
    port.Open();
    QTimer::singleShot(200, [] {}); // let start-up settle before counting
    QCoreApplication::processEvents();
    const long before = ProcessContextSwitches();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const long after = ProcessContextSwitches();
    port.Close();
    return double(after - before) / seconds;
}

void Print(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    std::printf("%-34s %10.1f %10.1f\n", what, micros[micros.size() / 2],
                micros[micros.size() * 99 / 100]);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    InstallUiHandOver();
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    const std::vector<double> plain = PlainLoop(exchanges);
    const std::vector<double> ours = ThroughWindow(exchanges);
    std::printf("byte on the pty master to its handler, %d exchanges each\n", exchanges);
    std::printf("%-34s %10s %10s\n", "", "median us", "p99 us");
    Print("plain poll loop (reader thread)", plain);
    Print("TComPort OnRxChar on the UI thread", ours);
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%-34s %10.2f\n", "ratio of medians", median(ours) / median(plain));
    std::printf("idle open port: %.1f context switches per second over %d s (all threads)\n",
                IdleSwitches(idleSeconds), idleSeconds);
    return 0;
}
