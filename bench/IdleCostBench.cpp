// What the program costs while nothing happens: the built vell-writer on Qt's offscreen
// platform, with a fresh user profile, its port opened at start-up ("Open port at startup") on
// a pseudo-terminal published as a virtual port, and nothing arriving. Over a quiet stretch,
// the context switches of all its threads per second (each is a wake-up) and its CPU time,
// against the minimal Qt window started the same way. The program with its port closed is
// measured too, to tell the port's share from the window's. The target is no wake-up at all.
// Run: build-h-bench/bench/idle_cost_bench [seconds] [rounds] [settle seconds]

#include "app/SettingsStore.h"
#include "bench/BenchProc.h"
#include "bench/BenchPty.h"
#include "serial/EnumComPorts.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string PortName = "bench0";

enum class TCase { Reference, PortClosed, PortOpen };

struct TIdle {
    double switchesPerSecond = 0;
    double ticks = 0;   // utime + stime over the stretch
    double cpuMs = 0;   // the scheduler's run time over the stretch
    double threads = 0; // at the end of the stretch
};

std::string ErrorText(const std::string& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One start: a fresh profile (and for the open port a pty published in it), the program on the
// offscreen platform, a settling pause, then the quiet stretch.
TIdle MeasureOnce(TCase which, int seconds, int settle) {
    BenchProc::TProfile profile;
    profile.Use();
    TPty pty;
    std::string program = MINIMAL_WINDOW_PATH;
    if (which != TCase::Reference) {
        program = VELL_WRITER_PATH;
        std::system(("mkdir -p '" + profile.PortsFolder() + "'").c_str());
        if (symlink(pty.path.c_str(), (profile.PortsFolder() + "/" + PortName).c_str()) != 0) {
            std::fprintf(stderr, "cannot publish the virtual port\n");
            std::exit(1);
        }
    }
    if (which == TCase::PortOpen) {
        // The stored port is an index into the port list, which the program builds the same
        // way on start-up.
        std::vector<std::string> ports;
        EnumComPorts(ports);
        const auto found = std::find(ports.begin(), ports.end(), PortName);
        if (found == ports.end()) {
            std::fprintf(stderr, "the virtual port %s is not listed\n", PortName.c_str());
            std::exit(1);
        }
        TSettingsStore store(QString::fromStdString(profile.SettingsFile()));
        store.OpenKey(QStringLiteral("Software\\VellWriter"), true);
        store.WriteInteger(QStringLiteral("ComPort"), int32_t(found - ports.begin()));
        store.WriteInteger(QStringLiteral("Startup"), 1);
        store.CloseKey();
    }

    const std::string errors = profile.Home() + "/stderr.txt";
    const pid_t pid = BenchProc::Start(program, {}, {{"QT_QPA_PLATFORM", "offscreen"}}, errors);
    if (which == TCase::PortOpen) {
        bool open = false;
        for (int i = 0; i < 1000 && !open && BenchProc::StillRunning(pid); ++i) {
            open = BenchProc::HoldsOpen(pid, pty.path);
            if (!open)
                usleep(10000);
        }
        if (!open) {
            std::fprintf(stderr, "vell-writer did not open %s\n%s", pty.path.c_str(),
                         ErrorText(errors).c_str());
            BenchProc::Stop(pid);
            std::exit(1);
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(settle));
    if (!BenchProc::StillRunning(pid)) {
        std::fprintf(stderr, "%s ended early\n%s", program.c_str(), ErrorText(errors).c_str());
        std::exit(1);
    }

    const long switches = BenchProc::ContextSwitches(pid);
    const long ticks = BenchProc::CpuTicks(pid);
    const long long nanos = BenchProc::CpuNanos(pid);
    const int threads = BenchProc::ThreadCount(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    TIdle idle;
    idle.switchesPerSecond = double(BenchProc::ContextSwitches(pid) - switches) / seconds;
    idle.ticks = double(BenchProc::CpuTicks(pid) - ticks);
    idle.cpuMs = double(BenchProc::CpuNanos(pid) - nanos) / 1e6;
    idle.threads = BenchProc::ThreadCount(pid);
    if (idle.threads != threads)
        std::fprintf(stderr, "note: %s went from %d to %.0f threads while idle\n", program.c_str(),
                     threads, idle.threads);
    BenchProc::Stop(pid);
    return idle;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Ours against the reference: "-" when the reference is zero (then only ours matters).
std::string Ratio(double ours, double reference) {
    if (reference == 0)
        return ours == 0 ? "0 = 0" : "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", ours / reference);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int settle = argc > 3 ? std::atoi(argv[3]) : 3;

    const TCase cases[] = {TCase::Reference, TCase::PortClosed, TCase::PortOpen};
    const char* names[] = {"minimal Qt window (reference)", "vell-writer, port closed",
                           "vell-writer, port open on a pty"};
    std::vector<TIdle> results[3];
    // Rounds interleave the cases, so a busy moment of the machine is shared among them.
    for (int round = 0; round < rounds; ++round)
        for (int c = 0; c < 3; ++c)
            results[c].push_back(MeasureOnce(cases[c], seconds, settle));

    std::printf("idle on the offscreen platform: %d s after %d s settling, median of %d "
                "starts each\n",
                seconds, settle, rounds);
    std::printf("%-34s %11s %10s %8s %8s %12s %10s\n", "", "wake-ups/s", "CPU ticks", "CPU ms",
                "threads", "x ref wakes", "x ref CPU");
    double refSwitches = 0, refMs = 0;
    for (int c = 0; c < 3; ++c) {
        std::vector<double> switches, ticks, ms, threads;
        for (const TIdle& idle : results[c]) {
            switches.push_back(idle.switchesPerSecond);
            ticks.push_back(idle.ticks);
            ms.push_back(idle.cpuMs);
            threads.push_back(idle.threads);
        }
        const double s = Median(switches), m = Median(ms);
        if (c == 0) {
            refSwitches = s;
            refMs = m;
        }
        std::printf("%-34s %11.2f %10.0f %8.2f %8.0f %12s %10s\n", names[c], s, Median(ticks), m,
                    Median(threads), Ratio(s, refSwitches).c_str(), Ratio(m, refMs).c_str());
    }
    return 0;
}
