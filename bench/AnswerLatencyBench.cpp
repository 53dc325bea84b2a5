// How fast the receiver's start string is answered: the far end of a pseudo-terminal (a thread
// on the master, playing the receiver) writes "AT\r" and times until the whole 16-byte answer,
// "STX,EF81" then "DD51,ETX", is read back on the master. Side by side, in one run:
//   (a) a plain poll/read/write loop on the slave (the limit),
//   (b) TComPort, its event thread handing over to the Qt UI thread, OnRxChar answering,
//   (b') the same without "transmit queue empty" among its events: with all of them, the
//       answer's own emptied queue is handed over too, often just as the next start string
//       comes (a pseudo-terminal drains at once),
//   (c) Qt's QSerialPort, readyRead on the UI thread answering: it buffers both strings and
//       writes them to the device in one write on the loop's next turn,
//   (c') the same with each string flushed as a write of its own, as the receiver's protocol
//       asks and (b) does: a pseudo-terminal's write costs a kernel work item and a switch,
//   (d) libserialport, a thread waiting in sp_wait and answering with blocking writes,
//   (e) the program's own main window, opened on the pty through a virtual port link, whose
//       DecRxChar answers the start string and logs its three lines.
//   (f) the same window with the receiver pausing 5 ms after each answer, as a receiver that
//       starts once does: the window has repainted its log before the next start string.
// Each exchange starts once the previous answer has been read in full; a warm-up of untimed
// exchanges goes first. (a) to (d) run in ten interleaved rounds, each a tenth of the exchanges
// and of the warm-up, so that a burst of load from elsewhere on a shared machine falls on all of
// them alike. Prints median and 99th percentile, each one's ratio to (a), and the CPU time and
// context switches of the whole process per exchange.
// Run: QT_QPA_PLATFORM=offscreen build/bench/answer_latency_bench [exchanges] [warm-up] [cases]
// where cases picks some of the letters "abBcCdef" (all by default), for profiling one of them.

#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "app/ToolButton.h"
#include "bench/BenchDialogs.h"
#include "bench/BenchPty.h"
#include "controls/UiHandOver.h"
#include "external/ChildProcessWindows.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QSerialPort>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <libserialport.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string StartString = "AT\r";
const std::string Command1 = "STX,EF81";
const std::string Command2 = "DD51,ETX";
const std::string Answer = Command1 + Command2;

struct TResult {
    std::vector<double> micros;
    int missed = 0; // exchanges whose answer did not come in full within a second
    // The whole process (far end included) over all exchanges, warm-up too: what an exchange
    // costs, which load from elsewhere on the machine hardly changes.
    int all = 0;
    double cpuMicros = 0;
    double switches = 0;
};

void Usage(double& cpuMicros, double& switches) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) { return double(t.tv_sec) * 1e6 + double(t.tv_usec); };
    cpuMicros = micros(usage.ru_utime) + micros(usage.ru_stime);
    switches = double(usage.ru_nvcsw + usage.ru_nivcsw);
}

// The receiver at the master: the start string in one write, then the time until the whole
// answer has been read. A missed answer is drained before the next exchange.
TResult FarEnd(int master, int warmup, int exchanges, int pauseMs = 0) {
    TResult result;
    result.micros.reserve(size_t(exchanges));
    char buffer[64];
    double cpuBefore = 0, switchesBefore = 0;
    Usage(cpuBefore, switchesBefore);
    for (int i = 0; i < warmup + exchanges; ++i) {
        const auto start = Clock::now();
        if (write(master, StartString.data(), StartString.size()) != ssize_t(StartString.size()))
            std::abort();
        std::string got;
        bool complete = true;
        while (got.size() < Answer.size()) {
            pollfd source{master, POLLIN, 0};
            if (poll(&source, 1, 1000) <= 0) {
                complete = false;
                break;
            }
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, size_t(n));
        }
        const auto end = Clock::now();
        if (!complete || got != Answer) {
            ++result.missed;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pollfd source{master, POLLIN, 0};
            while (poll(&source, 1, 0) > 0 && read(master, buffer, sizeof buffer) > 0) {
            }
            continue;
        }
        if (i >= warmup)
            result.micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        if (pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    Usage(result.cpuMicros, result.switches);
    result.cpuMicros -= cpuBefore;
    result.switches -= switchesBefore;
    result.all = warmup + exchanges;
    return result;
}

// The far end on its own thread while this thread serves the Qt event loop; the loop ends when
// the far end is done.
TResult FarEndWithLoop(int master, int warmup, int exchanges, int pauseMs = 0) {
    TResult result;
    std::thread receiver([&] {
        result = FarEnd(master, warmup, exchanges, pauseMs);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    receiver.join();
    return result;
}

// Collects what has arrived; once the start string is all there, answers it.
class TAnswerer {
public:
    explicit TAnswerer(std::function<void(const std::string&)> write) : m_write(std::move(write)) {}
    void Received(const char* bytes, size_t count) {
        m_pending.append(bytes, count);
        if (m_pending.size() < StartString.size())
            return;
        m_pending.clear();
        m_write(Command1);
        m_write(Command2);
    }

private:
    std::function<void(const std::string&)> m_write;
    std::string m_pending;
};

// (a) The limit: a thread in a plain poll/read/write loop on the slave.
TResult PlainLoop(int warmup, int exchanges, int pauseMs = 0) {
    TPty pty;
    std::atomic<bool> stop{false};
    std::thread answering([&] {
        TAnswerer answerer([&](const std::string& s) {
            if (write(pty.slave, s.data(), s.size()) != ssize_t(s.size()))
                std::abort();
        });
        char buffer[64];
        while (!stop) {
            pollfd source{pty.slave, POLLIN, 0};
            if (poll(&source, 1, 100) <= 0)
                continue;
            const ssize_t n = read(pty.slave, buffer, sizeof buffer);
            if (n > 0)
                answerer.Received(buffer, size_t(n));
        }
    });
    TResult result = FarEnd(pty.master, warmup, exchanges, pauseMs);
    stop = true;
    answering.join();
    return result;
}

// (b) TComPort with its default events and hand-over; OnRxChar on the UI thread answers.
TResult ThroughComPort(int warmup, int exchanges, bool watchTxEmpty) {
    TPty pty;
    TComPort port(nullptr);
    port.SetPort(pty.path);
    if (!watchTxEmpty)
        port.Events.Exclude(evTxEmpty);
    TAnswerer answerer([&](const std::string& s) { port.Write(s.data(), int32_t(s.size())); });
    port.OnRxChar = [&](TObject*, int32_t count) {
        char buffer[64];
        const int32_t got = port.Read(buffer, std::min<int32_t>(count, sizeof buffer));
        answerer.Received(buffer, size_t(std::max(got, 0)));
    };
    port.Open();
    TResult result = FarEndWithLoop(pty.master, warmup, exchanges);
    port.Close();
    return result;
}

// (c) QSerialPort on the UI thread: readyRead, read all, write twice; (c') each write flushed.
TResult ThroughQSerialPort(int warmup, int exchanges, bool flushEach) {
    TPty pty;
    QSerialPort serial;
    serial.setPortName(QString::fromStdString(pty.path));
    serial.setBaudRate(QSerialPort::Baud19200);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "QSerialPort: cannot open %s: %s\n", pty.path.c_str(),
                     qPrintable(serial.errorString()));
        return {};
    }
    TAnswerer answerer([&](const std::string& s) {
        serial.write(s.data(), qint64(s.size()));
        if (flushEach)
            serial.flush();
    });
    QObject::connect(&serial, &QSerialPort::readyRead, [&] {
        const QByteArray bytes = serial.readAll();
        answerer.Received(bytes.constData(), size_t(bytes.size()));
    });
    TResult result = FarEndWithLoop(pty.master, warmup, exchanges);
    serial.close();
    return result;
}

// (d) libserialport: a thread waiting in sp_wait for received bytes, then reading what is
// there and answering with two blocking writes.
TResult ThroughLibSerialPort(int warmup, int exchanges) {
    TPty pty;
    sp_port* port = nullptr;
    if (sp_get_port_by_name(pty.path.c_str(), &port) != SP_OK ||
        sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        std::fprintf(stderr, "libserialport: cannot open %s: %s\n", pty.path.c_str(),
                     sp_last_error_message());
        if (port != nullptr)
            sp_free_port(port);
        return {};
    }
    // A pseudo-terminal has no modem lines: flow control settings may be refused; the line
    // settings themselves are what matters.
    sp_set_baudrate(port, 19200);
    sp_set_bits(port, 8);
    sp_set_parity(port, SP_PARITY_NONE);
    sp_set_stopbits(port, 1);
    sp_event_set* events = nullptr;
    sp_new_event_set(&events);
    sp_add_port_events(events, port, SP_EVENT_RX_READY);
    std::atomic<bool> stop{false};
    std::thread answering([&] {
        TAnswerer answerer([&](const std::string& s) {
            if (sp_blocking_write(port, s.data(), s.size(), 1000) != int(s.size()))
                std::abort();
        });
        char buffer[64];
        while (!stop) {
            if (sp_wait(events, 100) != SP_OK)
                continue;
            const int n = sp_nonblocking_read(port, buffer, sizeof buffer);
            if (n > 0)
                answerer.Received(buffer, size_t(n));
        }
    });
    TResult result = FarEnd(pty.master, warmup, exchanges);
    stop = true;
    answering.join();
    sp_free_event_set(events);
    sp_close(port);
    sp_free_port(port);
    return result;
}

// (e) The program's main window, shown, its port opened with the toggle on a virtual port that
// links to the pty; DecRxChar answers the start string. (f) with a pause after each answer.
TResult ThroughMainWindow(int warmup, int exchanges, int pauseMs) {
    TPty pty;
    QTemporaryDir runtime;
    const std::string ports = runtime.path().toStdString() + "/vell-writer/ports";
    const std::string link = ports + "/bench0";
    if (std::system(("mkdir -p '" + ports + "'").c_str()) != 0 ||
        symlink(pty.path.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "main window: cannot publish %s\n", link.c_str());
        return {};
    }
    setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);

    TNoDialogs dialogs;
    TSettingsStore settings(runtime.filePath(QStringLiteral("VellWriter.conf")));
    TChildProcessWindows windows;
    TServices services{dialogs, settings, windows,
                       [](std::vector<std::string>& list) { list = {"bench0"}; }};
    TSDIAppForm form(services);
    form.show();
    const auto* freeze = form.findChild<QCheckBox*>(QStringLiteral("CheckBox5"));
    if (freeze == nullptr || !freeze->isChecked())
        std::fprintf(stderr, "main window: \"Always freeze\" is not ticked\n");
    TToolButton* toggle = form.PortButtons()[0];
    form.ToolButton1Click(toggle);
    if (!form.Port().Connected()) {
        std::fprintf(stderr, "main window: port %s did not open\n", form.Port().Port().c_str());
        return {};
    }
    QCoreApplication::processEvents();
    TResult result = FarEndWithLoop(pty.master, warmup, exchanges, pauseMs);
    form.ToolButton1Click(toggle); // closes the port
    return result;
}

void Append(TResult& all, const TResult& round) {
    all.micros.insert(all.micros.end(), round.micros.begin(), round.micros.end());
    all.missed += round.missed;
    all.all += round.all;
    all.cpuMicros += round.cpuMicros;
    all.switches += round.switches;
}

void Print(const char* what, TResult result, const TResult& limit) {
    if (result.micros.empty()) {
        std::printf("%-40s %10s %10s\n", what, "failed", "");
        return;
    }
    auto figures = [](std::vector<double> v, double& median, double& p99) {
        std::sort(v.begin(), v.end());
        median = v[v.size() / 2];
        p99 = v[v.size() * 99 / 100];
    };
    double median = 0, p99 = 0, limitMedian = 0, limitP99 = 0;
    figures(result.micros, median, p99);
    figures(limit.micros, limitMedian, limitP99);
    std::printf("%-40s %10.1f %10.1f %10.2f %10.2f %10.1f %10.1f", what, median, p99,
                median / limitMedian, p99 / limitP99, result.cpuMicros / result.all,
                result.switches / result.all);
    if (result.missed > 0)
        std::printf("   (%d missed)", result.missed);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int warmup = argc > 2 ? std::atoi(argv[2]) : 1000;
    const std::string cases = argc > 3 ? argv[3] : "abBcCdef";
    auto wanted = [&](char c) { return cases.find(c) != std::string::npos; };

    TResult plain, ours, oursNoTxEmpty, qt, qtFlushed, lib, window, paused, plainPaused;
    {
        QCoreApplication application(argc, argv);
        InstallUiHandOver();
        constexpr int Rounds = 10;
        for (int round = 0; round < Rounds; ++round) {
            const int n = exchanges / Rounds + (round < exchanges % Rounds ? 1 : 0);
            const int w = warmup / Rounds + (round < warmup % Rounds ? 1 : 0);
            Append(plain, PlainLoop(w, n)); // the reference: always measured
            if (wanted('b'))
                Append(ours, ThroughComPort(w, n, true));
            if (wanted('B'))
                Append(oursNoTxEmpty, ThroughComPort(w, n, false));
            if (wanted('c'))
                Append(qt, ThroughQSerialPort(w, n, false));
            if (wanted('C'))
                Append(qtFlushed, ThroughQSerialPort(w, n, true));
            if (wanted('d') && (round == 0 || !lib.micros.empty()))
                Append(lib, ThroughLibSerialPort(w, n));
        }
        if (wanted('f'))
            plainPaused = PlainLoop(warmup, exchanges, 5);
    }
    if (wanted('e')) {
        // The window needs the widgets' application; the port's hand-over goes to its loop.
        QApplication application(argc, argv);
        InstallUiHandOver();
        window = ThroughMainWindow(warmup, exchanges, 0);
    }
    if (wanted('f')) {
        QApplication application(argc, argv);
        InstallUiHandOver();
        paused = ThroughMainWindow(warmup, exchanges, 5);
    }

    std::printf("start string to the whole 16-byte answer on a pty, %d exchanges each "
                "(%d warm-up)\n",
                exchanges, warmup);
    std::printf("%-40s %10s %10s %10s %10s %10s %10s\n", "", "median us", "p99 us", "x (a) med",
                "x (a) p99", "CPU us/ex", "switch/ex");
    Print("(a) plain poll/read/write loop", plain, plain);
    Print("(b) TComPort OnRxChar on the UI thread", ours, plain);
    Print("(b') the same, evTxEmpty not watched", oursNoTxEmpty, plain);
    Print("(c) QSerialPort readyRead on UI thread", qt, plain);
    Print("(c') the same, each string its own write", qtFlushed, plain);
    Print("(d) libserialport sp_wait thread", lib, plain);
    Print("(e) main window DecRxChar (shown)", window, plain);
    Print("(a') plain loop, 5 ms between", plainPaused, plainPaused);
    Print("(f) main window, 5 ms between (x a')", paused, plainPaused);
    return 0;
}
