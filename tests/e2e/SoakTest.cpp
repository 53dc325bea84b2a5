// Long runs of the whole program: many consecutive writes through the main window with the
// receiver simulator and the transfer program, and a receiver that floods the line with random
// bytes. Each prints the process's memory and descriptors as it goes.
//
// By default both are short (they run with the suite); scripts/soak.sh runs them long:
//   VELL_SOAK_WRITES   number of consecutive writes (10)
//   VELL_FLOOD_SECONDS how long the receiver floods the line (2)

#include "app/CSpinEdit.h"
#include "tests/app/WindowHarness.h"
#include "tests/e2e/EndToEndHarness.h"
#include "tests/support/PtyPair.h"

#include <QDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace EndToEnd;

namespace {

int Setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// The resident set, from /proc/self/status, in kB.
long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::stol(line.substr(6));
    return -1;
}

// What the program holds on the heap, in kB. Unlike the resident set it drops when memory is
// freed, so growth here is memory kept, not a heap that has not shrunk.
long HeapKb() {
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

long OpenDescriptors() {
    return long(QDir(QStringLiteral("/proc/self/fd"))
                    .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                    .size());
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TSample {
    long at; // writes done, or seconds flooded
    long rssKb;
    long heapKb;
    long fds;
    double seconds;
};

TSample Sample(long at, std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {at, RssKb(), HeapKb(), OpenDescriptors(), elapsed.count()};
}

void PrintFigures(const char* title, const char* unit, const std::vector<TSample>& samples) {
    std::printf("\n%s\n%8s %10s %10s %6s %9s\n", title, unit, "RSS kB", "heap kB", "fds",
                "elapsed s");
    for (const TSample& s : samples)
        std::printf("%8ld %10ld %10ld %6ld %9.1f\n", s.at, s.rssKb, s.heapKb, s.fds, s.seconds);
    const auto most = [&](long TSample::*field) {
        long value = 0;
        for (const TSample& s : samples)
            value = std::max(value, s.*field);
        return value;
    };
    const TSample& first = samples.front();
    const TSample& last = samples.back();
    std::printf("RSS kB first %ld last %ld max %ld; heap kB first %ld last %ld max %ld; fds first "
                "%ld last %ld max %ld\n",
                first.rssKb, last.rssKb, most(&TSample::rssKb), first.heapKb, last.heapKb,
                most(&TSample::heapKb), first.fds, last.fds, most(&TSample::fds));
    std::fflush(stdout);
}

// Our standard output and error go nowhere while it lives: the transfer programs inherit
// them and tell their status there, thousands of lines over a long run.
class TQuietOutput {
public:
    TQuietOutput() {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        for (int i = 0; i < 2; ++i) {
            m_saved[i] = ::dup(Fd(i));
            ::dup2(null, Fd(i));
        }
        ::close(null);
    }
    ~TQuietOutput() {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int i = 0; i < 2; ++i) {
            ::dup2(m_saved[i], Fd(i));
            ::close(m_saved[i]);
        }
    }

private:
    static int Fd(int i) { return i == 0 ? STDOUT_FILENO : STDERR_FILENO; }
    int m_saved[2] = {-1, -1};
};

class SoakTest : public TEndToEndTest {
protected:
    int StepMs() const override { return 0; } // the simulated receiver's fastest

    // Lines the simulator has printed since the last call, counted by what they tell; the
    // rest is dropped so that a long run holds none of it.
    void TakeSimulatorLines() {
        pending += simulator.readAll();
        const qsizetype end = pending.lastIndexOf('\n');
        if (end < 0)
            return;
        const QByteArray lines = pending.left(end + 1);
        images += int(lines.count("image received: size=4096 "));
        written += int(lines.count("Write ok C043"));
        pending.remove(0, end + 1);
    }

    QByteArray pending;
    int images = 0;  // the simulator received an image
    int written = 0; // and reported it written
};

// Whether the log ends as a good write does: the receiver's end line, then the closing line.
bool EndedRight(const TLogEdit* log) {
    const int n = log->LineCount();
    if (n < 2 || log->Line(n - 1) != NewDownload)
        return false;
    for (int i = n - 2; i >= 0; --i)
        if (log->Line(i).find("Write ok C043") != std::string::npos)
            return true;
    return false;
}

TEST_F(SoakTest, ConsecutiveWritesKeepMemoryAndDescriptorsLevel) {
    const int writes = Setting("VELL_SOAK_WRITES", 10);
    SwitchOnAndFreeze();
    Choose(2, 4096); // an EEPROM image of its usual size: the smallest without a question
    transcript.clear();
    Child<TCSpinEdit>(*form, "Spin1")
        ->SetValue(0); // no pause before the command: the simulator takes either order
    TLogEdit* log = form->Logs()[2];
    TakeSimulatorLines();
    images = written = 0;

    std::vector<TSample> samples;
    std::vector<std::string> endedWrong; // told once the output is back
    const auto start = std::chrono::steady_clock::now();
    {
        TQuietOutput quiet;
        samples.push_back(Sample(0, start));
        for (int run = 1; run <= writes; ++run) {
            form->ToolButton20Click(
                Child<TToolButton>(*form, "ToolButton27")); // the log starts empty each time
            dialogs.shown.clear(); // the confirmations answered, recorded by the fake boxes
            form->RunButtons()[2]->click();
            const bool ended = RunEnded(log);
            TakeSimulatorLines();
            if (!ended || !EndedRight(log)) {
                endedWrong.push_back("write " + std::to_string(run) +
                                     " ended wrong; last line: " + log->Line(log->LineCount() - 1));
                if (!ended)
                    break; // the receiver is stuck: the rest would only wait too
            }
            if (run == 1 || run % 50 == 0 || run == writes)
                samples.push_back(Sample(run, start));
        }
        // The last lines may still be on their way from the simulator.
        PumpUntil(
            [&] {
                TakeSimulatorLines();
                return images >= writes && written >= writes;
            },
            5s);
    }
    PrintFigures("Consecutive EEPROM writes", "writes", samples);
    std::printf("%d writes in %.0f s, %zu ended wrong; the simulator received %d images and "
                "wrote %d\n",
                writes, samples.back().seconds, endedWrong.size(), images, written);
    for (const std::string& wrong : endedWrong)
        ADD_FAILURE() << wrong;
    EXPECT_EQ(images, writes);
    EXPECT_EQ(written, writes);
    // Each write starts a transfer program and sees it end: nothing of it may stay behind.
    // The first write is the baseline: it makes what the program keeps for all later ones.
    ASSERT_GE(samples.size(), 2u);
    const TSample& baseline = samples[1];
    EXPECT_LE(samples.back().fds, baseline.fds) << "descriptors left behind";
    EXPECT_LE(samples.back().heapKb, baseline.heapKb + 32 + writes / 2)
        << "memory kept for every write";
}

// A receiver gone mad sends random bytes as fast as the line takes them. The window shows them
// and goes on: its event loop keeps running, nothing queues up between the line and the log,
// the memory it keeps is the log's, the event thread sleeps once the flood ends, and the
// receiver's next start string is answered.
TEST(FloodTest, RandomBytesFromTheReceiver) {
    const int seconds = Setting("VELL_FLOOD_SECONDS", 2);
    InstallUiHandOver();
    TPtyPair pty;
    TWindowHarness harness({pty.Path()});
    auto form = harness.Build();
    std::atomic<uint64_t> consumed{0};
    form->Port().OnRxChar = [&, handler = form->Port().OnRxChar](TObject* sender, int32_t count) {
        handler(sender, count);
        consumed += uint64_t(count);
    };
    const std::set<int> before = ThreadIds();
    form->ToolButton1Click(form->PortButtons()[0]);
    ASSERT_TRUE(form->Port().Connected());
    int eventThread = -1;
    for (int id : ThreadIds())
        if (!before.count(id) && ThreadName(id) == ThreadName(int(getpid())))
            eventThread = id;
    TLogEdit* log = form->Logs()[0];

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sent{0};
    std::thread receiver([&] {
        std::mt19937 random(12345);
        std::vector<char> chunk(4096);
        while (!stop) {
            for (char& byte : chunk)
                byte = char(random());
            size_t done = 0;
            while (done < chunk.size() && !stop) {
                pollfd room{pty.Master(), POLLOUT, 0};
                if (::poll(&room, 1, 50) <= 0)
                    continue;
                const ssize_t n = ::write(pty.Master(), chunk.data() + done, chunk.size() - done);
                if (n > 0) {
                    done += size_t(n);
                    sent += uint64_t(n);
                }
            }
        }
    });

    std::vector<TSample> samples;
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    long backlog = 0;
    for (int second = 0; second <= seconds; ++second) {
        if (second > 0) {
            const auto until = start + std::chrono::seconds(second);
            while (std::chrono::steady_clock::now() < until)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        backlog = std::max(backlog, long(sent - consumed));
        samples.push_back(Sample(second, start));
        // The user clears the log now and then: what stays is what the window keeps besides.
        if (second % 10 == 9)
            form->ToolButton20Click(Child<TToolButton>(*form, "ToolButton20"));
    }
    stop = true;
    receiver.join();
    const double cpu = CpuSeconds() - cpuBefore;
    const int ticksDuringFlood = ticks;
    ASSERT_TRUE(PumpUntil([&] { return consumed == sent; }, 10s))
        << sent - consumed << " bytes never reached the window";
    const int logLines = log->LineCount();
    form->ToolButton20Click(Child<TToolButton>(*form, "ToolButton20"));
    // The log reaches its document when the event loop next turns.
    ASSERT_TRUE(PumpUntil([&] { return log->document()->blockCount() == 1; }, 10s));
    samples.push_back(Sample(seconds, start)); // the log cleared

    PrintFigures("Random bytes from the receiver (the last line: after clearing the log)",
                 "seconds", samples);
    std::printf("%.1f MB in %d s; CPU %.1f s; timer ticks %d of %d; most bytes between line and "
                "log %ld; %d log lines at the end\n",
                double(sent) / 1e6, seconds, cpu, ticksDuringFlood, seconds * 100, backlog,
                logLines);
    std::fflush(stdout);

    // The event loop kept turning (a tick every 10 ms when idle; one in ten will do).
    EXPECT_GE(ticksDuringFlood, seconds * 10);
    // The kernel's and the port's buffers, no more: the flood is held back, not stored.
    EXPECT_GT(sent, 0u);
    EXPECT_LE(backlog, 1024 * 1024);
    // With the log cleared, what the flood left on the heap is small.
    EXPECT_LE(samples.back().heapKb, samples.front().heapKb + 2048);

    // Quiet again: the event thread sleeps.
    ASSERT_GT(eventThread, 0);
    const long switches = ContextSwitches(eventThread);
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_LE(ContextSwitches(eventThread) - switches, 2);

    // And the receiver, starting again, is answered.
    pty.Send("AT\r");
    EXPECT_TRUE(PumpUntil(
        [&] { return log->Line(log->LineCount() - 1) == "Sending command string 2..."; }, 10s));
    EXPECT_EQ(pty.Receive(16), "STX,EF81DD51,ETX");
}

} // namespace
