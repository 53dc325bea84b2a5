#include "serial/platform/InterruptibleThread.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace Platform;

// The scheduler state of one of this process's threads: 'S' while it sleeps in a call.
char StateOf(pid_t thread) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() ? line[end + 2] : '?';
}

// Stopping ends a thread blocked in a call that nothing else would end (a read of a pipe nobody
// writes): the call returns EINTR once, and the thread sees that it is to stop.
TEST(InterruptibleThread, StopEndsACallThatNothingElseEnds) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    std::atomic<pid_t> id{0};
    std::atomic<int> interrupted{0};
    TInterruptibleThread thread;
    const auto readForever = [&] {
        id = pid_t(::syscall(SYS_gettid));
        char byte;
        while (!thread.Stopping())
            if (::read(pipeFds[0], &byte, 1) < 0 && errno == EINTR)
                ++interrupted;
    };
    ASSERT_EQ(thread.Start("test-reader", readForever), ERROR_SUCCESS);
    for (int i = 0; i < 10000 && (id == 0 || StateOf(id) != 'S'); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(StateOf(id), 'S') << "the thread never blocked";

    thread.Stop();
    EXPECT_EQ(interrupted, 1);
    thread.Stop(); // again: nothing
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

} // namespace
