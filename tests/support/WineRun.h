#pragma once
// One Windows test program under Wine, in a session of the build's prefix (WineSession.h): run
// to its end with its output kept, optionally serving the lines it writes to a pseudo-terminal.
// What the Linux side of every Windows test binary shares. Use from one thread.

#include "tests/support/PtyPair.h"
#include "tests/support/WineSession.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace WineTest {

// Skips unless Wine and the Windows program are there.
#define REQUIRE_WINE(program)                                                                      \
    do {                                                                                           \
        const std::string missing = TWineSession::Missing({program});                              \
        if (!missing.empty())                                                                      \
            GTEST_SKIP() << missing;                                                               \
    } while (0)

// One Windows program under Wine: its output, and the lines it writes to the terminal handed to
// `serve`, until it ends. A program that outlives its patience is killed and fails the test.
// The output goes through a file: the Wine server and services the program starts inherit it
// and may hold it open after the program has ended.
struct TWineRun {
    int exit = -1;
    std::string output;
};

inline TWineRun RunUnderWine(const TWineSession& session, const std::string& program,
                             const TEnvironment& environment, TPtyPair* terminal = nullptr,
                             const std::function<void(const std::string&)>& serve = nullptr,
                             std::chrono::seconds patience = 120s) {
    const std::string output = session.Folder() + "/output.txt";
    TChildProcess child({WINE_PROGRAM, program, "--gtest_brief=1"},
                        session.Environment(environment),
                        {.outputFile = output, .appendOutput = false, .errorToOutput = true});
    const int ended = int(::syscall(SYS_pidfd_open, child.Pid(), 0)); // readable at its end
    const auto deadline = std::chrono::steady_clock::now() + patience;
    std::string line;
    TWineRun run;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            child.Kill();
            run.output =
                "[killed: still running after " + std::to_string(patience.count()) + " s]\n";
            break;
        }
        pollfd sources[2] = {{ended, POLLIN, 0}, {terminal ? terminal->Master() : -1, POLLIN, 0}};
        if (::poll(sources, 2, int(left.count())) <= 0)
            continue;
        if (sources[1].revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = ::read(terminal->Master(), buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    if (line.size() < 256)
                        line += buffer[i];
                    continue;
                }
                serve(line);
                line.clear();
            }
        }
        if (sources[0].revents != 0)
            break;
    }
    run.exit = child.WaitExit(10s);
    if (ended >= 0)
        ::close(ended);
    run.output += ReadFile(output).substr(0, 1 << 20);
    return run;
}

// Passed: its output is shown; failed: the test fails with it.
inline void ExpectPassed(const TWineRun& run) {
    EXPECT_EQ(run.exit, 0) << run.output;
    if (run.exit == 0)
        std::printf("%s", run.output.c_str());
}

} // namespace WineTest
