// The main window under a steady stream of receiver text: the far end of a pseudo-terminal
// writes receiver-like lines ("Download started", "Writing 37%", ...), one write per line,
// paced to the 11,520 bytes/s that 115200 bit/s carries, for a minute; the window is shown on
// the offscreen platform, its port opened with the toggle on a virtual port linked to the pty,
// and not in a run, so DecRxChar logs every chunk it reads as a line of its own. Measured:
//   - the UI thread's longest stall: a 10 ms precise timer on the UI thread, and how late it
//     fires (its gap beyond 10 ms);
//   - the backlog: bytes the far end has written minus bytes the port has read, sampled after
//     every write; its largest value and its trend (does it grow?);
//   - memory per logged line: heap in use (mallinfo2) and resident size, growth over the
//     stream divided by the lines it added;
//   - CPU time of the process, as a share of one core.
// Cases, each in a process of its own so that one's freed memory does not hide another's growth:
//   (a) reference: a shown window holding a plain QPlainTextEdit (read-only, no wrap, no undo)
//       that a QSocketNotifier on the pty fills on the UI thread, appending the very same line
//       text with appendPlainText: the least Qt itself needs to show these lines;
//   (b) the main window with "Show full comunication" ticked (the case under test);
//   (c) the main window with it unticked (shorter text, two lines per chunk; for comparison).
// Each figure is the median over the rounds; rounds run the cases in turn.
// Run: build-h-bench/bench/log_flood_bench [seconds] [rounds] [cases], cases from "abc" (all by
// default)

#include "app/LogEdit.h"
#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "app/ToolButton.h"
#include "bench/BenchDialogs.h"
#include "bench/BenchPty.h"
#include "controls/UiHandOver.h"
#include "external/ChildProcessWindows.h"
#include "receiver/Rendering.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double BytesPerSecond = 11520; // 115200 bit/s, 10 bits a byte
constexpr int TimerMs = 10;

// What the receiver prints while it works, one write per line as it prints them.
std::vector<std::string> ReceiverLines() {
    std::vector<std::string> lines = {"Memory Alocation\r\n", "Download started\r\n"};
    for (int percent = 1; percent <= 100; ++percent)
        lines.push_back("Writing " + std::to_string(percent) + "%\r\n");
    lines.push_back("Verify block 0x0001F000 ok\r\n");
    return lines;
}

// What the reading side has taken from the pty, and when it last took something. Advanced on
// the UI thread; the far end reads the count to sample the backlog.
struct TReadCount {
    std::atomic<long long> bytes{0};
    Clock::time_point last{};
    void Took(long long n) {
        bytes += n;
        last = Clock::now();
    }
};

// The far end: receiver lines paced to the line's rate for `seconds`, in blocking writes. A
// write that blocks (the pty is full: nobody reads) delays the pace; the rate achieved is
// reported. After each write the backlog is sampled against the reader's count.
class TReceiverText {
public:
    TReceiverText(int master, double seconds, const TReadCount& read) : m_read(read) {
        m_thread = std::thread([this, master, seconds] {
            const std::vector<std::string> lines = ReceiverLines();
            const auto start = Clock::now();
            const auto end = start + std::chrono::duration<double>(seconds);
            for (size_t i = 0;; ++i) {
                // Each line is due when the line's rate would have carried what went before.
                const auto due =
                    start + std::chrono::duration<double>(double(written) / BytesPerSecond);
                if (due >= end)
                    break;
                std::this_thread::sleep_until(due);
                const std::string& line = lines[i % lines.size()];
                if (write(master, line.data(), line.size()) != ssize_t(line.size()))
                    std::abort();
                written += static_cast<long long>(line.size());
                lastWrite = Clock::now();
                const long long backlog = written - m_read.bytes.load();
                maxBacklog = std::max(maxBacklog.load(), backlog);
                const double t = std::chrono::duration<double>(Clock::now() - start).count();
                samples.push_back({t, double(backlog)});
            }
            elapsed = std::chrono::duration<double>(lastWrite - start).count();
            done = true;
        });
    }
    void Join() { m_thread.join(); }

    std::atomic<long long> written{0};
    std::atomic<long long> maxBacklog{0};
    std::atomic<bool> done{false};
    std::vector<std::pair<double, double>> samples; // (seconds, backlog); read after Join
    double elapsed = 0;
    Clock::time_point lastWrite{};

private:
    const TReadCount& m_read;
    std::thread m_thread;
};

struct TResult {
    double seconds = 0;
    double writtenRate = 0; // bytes/s the far end achieved
    double maxStallMs = 0;  // longest lateness of the 10 ms timer
    double maxStallAt = 0;  // seconds into the stream when it ended
    double p99StallMs = 0;
    double stallsOver50 = 0; // timer gaps more than 50 ms late
    double maxHandlerMs = 0; // longest single read-and-log
    double maxBacklog = 0;   // bytes
    double meanBacklog = 0;
    double backlogSlope = 0; // bytes per second, least squares over the run
    double drainMs = 0;      // from the far end's last write until all is read
    double lines = 0;        // lines the stream added to the log
    double charsPerLine = 0;
    double heapPerLine = 0;     // bytes
    double rssPerLine = 0;      // bytes
    double cpuShare = 0;        // of one core, whole process
    double paintsPerSecond = 0; // paint events delivered to widgets, all of them
    bool ok = false;
};

long RssBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts the paint events the widgets get: a repaint storm shows here. With VELL_BENCH_PAINTS
// set, also tells which widgets get them, on the standard error stream.
class TPaintCount : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (m_byClass)
                ++byClass[watched->metaObject()->className() + std::string(" ") +
                          watched->objectName().toStdString()];
        }
        return false;
    }
    long paints = 0;
    std::map<std::string, long> byClass;

private:
    bool m_byClass = qEnvironmentVariableIsSet("VELL_BENCH_PAINTS");
};

// Lets the window settle: shown, painted, start-up work done.
void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The stream and the measurements around it, the same for every case. `lineCount` and `text`
// tell what the log holds; `read` is advanced by whoever reads the pty.
TResult Stream(int master, double seconds, TReadCount& read,
               const std::function<double()>& lineCount, const std::function<double()>& textLength,
               double& maxHandlerMs) {
    TResult result;
    const double linesBefore = lineCount();
    const double charsBefore = textLength();
    malloc_trim(0);
    const long heapBefore = long(mallinfo2().uordblks);
    const long rssBefore = RssBytes();
    const double cpuBefore = CpuSeconds();
    TPaintCount paints;
    QCoreApplication::instance()->installEventFilter(&paints);

    std::vector<double> gaps;
    gaps.reserve(size_t(seconds * 1000 / TimerMs) + 1000);
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    const auto start = Clock::now();
    auto last = start;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        gaps.push_back(std::chrono::duration<double, std::milli>(now - last).count() - TimerMs);
        if (gaps.back() > result.maxStallMs) {
            result.maxStallMs = gaps.back();
            result.maxStallAt = std::chrono::duration<double>(now - start).count();
        }
        last = now;
    });
    tick.start(TimerMs);

    TReceiverText far(master, seconds, read);
    // Ends the loop once the far end is done and all is read, or ten seconds after it is done.
    Clock::time_point farDone{};
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!far.done)
            return;
        if (farDone == Clock::time_point{})
            farDone = Clock::now();
        if (read.bytes.load() >= far.written.load() ||
            Clock::now() - farDone > std::chrono::seconds(10))
            QCoreApplication::quit();
    });
    watch.start(50);
    QCoreApplication::exec();
    const auto end = Clock::now();
    tick.stop();
    watch.stop();
    far.Join();
    QCoreApplication::instance()->removeEventFilter(&paints);
    result.paintsPerSecond =
        double(paints.paints) / std::chrono::duration<double>(end - start).count();
    for (const auto& [name, count] : paints.byClass)
        std::fprintf(stderr, "paints: %8ld %s\n", count, name.c_str());

    result.seconds = far.elapsed;
    result.writtenRate = double(far.written) / far.elapsed;
    result.drainMs =
        std::max(0.0, std::chrono::duration<double, std::milli>(read.last - far.lastWrite).count());
    result.ok = read.bytes.load() == far.written.load();
    result.cpuShare =
        (CpuSeconds() - cpuBefore) / std::chrono::duration<double>(end - start).count();
    std::sort(gaps.begin(), gaps.end());
    result.p99StallMs = std::max(0.0, gaps[gaps.size() * 99 / 100]);
    result.stallsOver50 = double(gaps.end() - std::upper_bound(gaps.begin(), gaps.end(), 50.0));
    result.maxHandlerMs = maxHandlerMs;

    double sum = 0, st = 0, sb = 0, stt = 0, stb = 0;
    for (const auto& [t, b] : far.samples) {
        sum += b;
        st += t;
        sb += b;
        stt += t * t;
        stb += t * b;
    }
    const double n = double(far.samples.size());
    result.maxBacklog = double(far.maxBacklog);
    result.meanBacklog = sum / n;
    result.backlogSlope = (n * stb - st * sb) / (n * stt - st * st);

    Settle(200); // the last repaint, then count
    result.lines = lineCount() - linesBefore;
    result.charsPerLine = (textLength() - charsBefore) / std::max(result.lines, 1.0);
    result.heapPerLine =
        double(long(mallinfo2().uordblks) - heapBefore) / std::max(result.lines, 1.0);
    result.rssPerLine = double(RssBytes() - rssBefore) / std::max(result.lines, 1.0);
    return result;
}

// (a) The reference: a plain text edit, filled from the pty by a socket notifier.
TResult PlainEdit(double seconds) {
    TPty pty;
    fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK);
    QMainWindow window;
    auto* edit = new QPlainTextEdit;
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    window.setCentralWidget(edit);
    window.resize(520, 416);
    window.show();
    TReadCount read;
    double maxHandlerMs = 0;
    QSocketNotifier notifier(pty.slave, QSocketNotifier::Read);
    char buffer[4096];
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const auto start = Clock::now();
        const ssize_t n = ::read(pty.slave, buffer, sizeof buffer);
        if (n <= 0)
            return;
        const std::string line = RenderBytes(buffer, int(n), true);
        edit->appendPlainText(QString::fromLatin1(line.data(), qsizetype(line.size())));
        read.Took(n);
        maxHandlerMs = std::max(
            maxHandlerMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    });
    Settle(500);
    return Stream(
        pty.master, seconds, read, [&] { return double(edit->blockCount()); },
        [&] { return double(edit->document()->characterCount()); }, maxHandlerMs);
}

// (b), (c) The program's main window, its port opened with the toggle on a virtual port that
// links to the pty.
TResult MainWindow(double seconds, bool fullCommunication) {
    TPty pty;
    const std::string ports =
        qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString() + "/vell-writer/ports";
    if (std::system(("mkdir -p '" + ports + "'").c_str()) != 0 ||
        symlink(pty.path.c_str(), (ports + "/bench0").c_str()) != 0) {
        std::fprintf(stderr, "main window: cannot publish the virtual port\n");
        return {};
    }

    TNoDialogs dialogs;
    TSettingsStore settings(QString::fromStdString(ports + "/../VellWriter.conf"));
    TChildProcessWindows windows;
    TServices services{dialogs, settings, windows,
                       [](std::vector<std::string>& list) { list = {"bench0"}; }};
    TSDIAppForm form(services);
    form.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(fullCommunication);
    form.show();
    form.ToolButton1Click(form.PortButtons()[0]);
    if (!form.Port().Connected()) {
        std::fprintf(stderr, "main window: port %s did not open\n", form.Port().Port().c_str());
        return {};
    }
    // The window's own handler, counted: what it was given to read, and how long it took.
    TReadCount read;
    double maxHandlerMs = 0;
    form.Port().OnRxChar = [&](TObject* sender, int32_t count) {
        const auto start = Clock::now();
        form.DecRxChar(sender, count);
        read.Took(count);
        maxHandlerMs = std::max(
            maxHandlerMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    };
    Settle(500);
    TLogEdit* log = form.Logs()[0]; // no image chosen: the active (Flash) page's log
    TResult result = Stream(
        pty.master, seconds, read, [&] { return double(log->LineCount()); },
        [&] { return double(log->document()->characterCount()); }, maxHandlerMs);
    form.ToolButton1Click(form.PortButtons()[0]); // closes the port
    return result;
}

// One case in a child process; its result comes back through a pipe.
TResult RunCase(char which, double seconds, int argc, char** argv) {
    int channel[2];
    if (pipe(channel) != 0)
        std::abort();
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        // A runtime folder of its own: the virtual port is published there.
        char runtime[] = "/tmp/vell-flood-XXXXXX";
        if (mkdtemp(runtime) == nullptr)
            _exit(1);
        setenv("XDG_RUNTIME_DIR", runtime, 1);
        TResult result;
        {
            QApplication application(argc, argv);
            InstallUiHandOver();
            result = which == 'a' ? PlainEdit(seconds) : MainWindow(seconds, which == 'b');
        }
        std::system((std::string("rm -rf '") + runtime + "'").c_str());
        if (write(channel[1], &result, sizeof result) != ssize_t(sizeof result))
            _exit(1);
        _exit(0);
    }
    close(channel[1]);
    TResult result;
    if (::read(channel[0], &result, sizeof result) != ssize_t(sizeof result))
        result = {};
    close(channel[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

// The median of each figure over the rounds; a failed round fails the case.
TResult Medians(const std::vector<TResult>& rounds) {
    TResult median;
    median.ok = !rounds.empty() &&
                std::all_of(rounds.begin(), rounds.end(), [](const TResult& r) { return r.ok; });
    if (!median.ok)
        return median;
    for (double TResult::*field :
         {&TResult::seconds, &TResult::writtenRate, &TResult::maxStallMs, &TResult::maxStallAt,
          &TResult::p99StallMs, &TResult::stallsOver50, &TResult::maxHandlerMs,
          &TResult::maxBacklog, &TResult::meanBacklog, &TResult::backlogSlope, &TResult::drainMs,
          &TResult::lines, &TResult::charsPerLine, &TResult::heapPerLine, &TResult::rssPerLine,
          &TResult::cpuShare, &TResult::paintsPerSecond}) {
        std::vector<double> values;
        for (const TResult& r : rounds)
            values.push_back(r.*field);
        std::sort(values.begin(), values.end());
        median.*field = values[values.size() / 2];
    }
    return median;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const std::string cases = argc > 3 ? argv[3] : "abc";

    const char* names[] = {"(a) QPlainTextEdit + socket notifier", "(b) main window, full com",
                           "(c) main window, not full com"};
    std::vector<TResult> runs[3];
    bool ran[3] = {};
    for (int round = 0; round < rounds; ++round)
        for (int c = 0; c < 3; ++c)
            if (cases.find(char('a' + c)) != std::string::npos) {
                runs[c].push_back(RunCase(char('a' + c), seconds, argc, argv));
                ran[c] = true;
            }
    TResult results[3];
    for (int c = 0; c < 3; ++c)
        results[c] = Medians(runs[c]);

    std::printf("receiver text at %.0f bytes/s for %.0f s, one write per line, window shown "
                "offscreen; median of %d round(s)\n",
                BytesPerSecond, seconds, rounds);
    std::printf("(a) QPlainTextEdit + socket notifier (reference), (b) main window with \"Show "
                "full comunication\",\n(c) main window without it\n");
    for (int c = 0; c < 3; ++c)
        if (ran[c] && !results[c].ok)
            std::printf("%s: failed (bytes left unread, or the set-up failed)\n", names[c]);
    std::printf("%-34s %10s %10s %10s %10s\n", "", "(a)", "(b)", "(c)", "(b)/(a)");
    auto row = [&](const char* what, double TResult::*field, const char* format,
                   bool ratio = true) {
        std::printf("%-34s", what);
        for (int c = 0; c < 3; ++c) {
            if (ran[c] && results[c].ok)
                std::printf(format, results[c].*field);
            else
                std::printf(" %10s", "-");
        }
        const bool both = ran[0] && ran[1] && results[0].ok && results[1].ok;
        if (ratio && both && results[0].*field != 0)
            std::printf(" %10.2f", results[1].*field / results[0].*field);
        std::printf("\n");
    };
    row("bytes/s sent (paced)", &TResult::writtenRate, " %10.0f");
    row("UI stall, longest (ms)", &TResult::maxStallMs, " %10.1f");
    row("  ... ended at (s into the stream)", &TResult::maxStallAt, " %10.2f", false);
    row("UI stall, 99th percentile (ms)", &TResult::p99StallMs, " %10.2f");
    row("UI stalls over 50 ms", &TResult::stallsOver50, " %10.0f");
    row("longest read-and-log (ms)", &TResult::maxHandlerMs, " %10.2f");
    row("backlog, largest (bytes)", &TResult::maxBacklog, " %10.0f");
    row("backlog, mean (bytes)", &TResult::meanBacklog, " %10.1f");
    row("backlog trend (bytes/s)", &TResult::backlogSlope, " %10.3f");
    row("last write to its read (ms)", &TResult::drainMs, " %10.2f");
    row("lines logged", &TResult::lines, " %10.0f");
    row("characters per line", &TResult::charsPerLine, " %10.1f");
    row("heap per line (bytes)", &TResult::heapPerLine, " %10.0f");
    row("resident memory per line (bytes)", &TResult::rssPerLine, " %10.0f");
    row("widget paints per second", &TResult::paintsPerSecond, " %10.1f");
    row("CPU, share of one core", &TResult::cpuShare, " %10.3f");
    return 0;
}
