// Port events reach the Qt UI thread: on a real pseudo-terminal, through the event loop, with
// a handler's failure reported and the events going on; and a device that goes away leaves
// the event thread asleep. The loop waits for the line itself: a received byte wakes the UI
// thread alone, handlers keep their thread and order, and a handler may close its own port.

#include "controls/UiHandOver.h"

#include "serial/ComPort.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/PtyPair.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ThreadStats.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Platform;

namespace {

using TestSupport::PumpUntil;

// How often the event loop woke in `milliseconds`: a loop that sleeps wakes once, for the timer
// that ends the count; one that spins, thousands of times.
int LoopTurns(int milliseconds) {
    bool over = false;
    QTimer::singleShot(milliseconds, [&] { over = true; });
    int turns = 0;
    while (!over) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ++turns;
    }
    return turns;
}

// The thread that Open adds under the program's own name: the event thread (a terminal's
// helpers carry names of their own).
int OpenWithEventThread(TComPort& port) {
    const std::set<int> before = ThreadIds();
    port.Open();
    const std::string program = ThreadName(int(getpid()));
    int found = 0;
    for (int id : ThreadIds())
        if (!before.count(id) && ThreadName(id) == program)
            found = found == 0 ? id : -1;
    return found;
}

bool OnUiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

TEST(UiHandOverTest, ReceivedBytesWakeTheUiThreadAloneAndItAnswers) {
    TPtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.Path());
    int answered = 0;
    port.OnRxChar = [&](TObject*, int32_t count) {
        char bytes[64];
        port.Read(bytes, std::min<int32_t>(count, sizeof bytes));
        port.WriteStr("STX,EF81");
        ++answered;
    };
    const int eventThread = OpenWithEventThread(port);
    ASSERT_GT(eventThread, 0);
    // Counted from the second exchange on, when the thread has surely reached its wait.
    long switches = 0;
    for (int i = 1; i <= 30; ++i) {
        if (i == 2)
            switches = ContextSwitches(eventThread, true);
        pty.Send("AT\r");
        ASSERT_TRUE(PumpUntil([&] { return answered == i; }));
        ASSERT_EQ(pty.Receive(8), "STX,EF81");
    }
    // Woken for every exchange (and for its transmit queue running empty), it would have
    // waited twice per exchange.
    EXPECT_LE(ContextSwitches(eventThread, true) - switches, 2) << "the event thread handed over";
    port.Close();
}

// Data, an error and a line change in one wake-up reach the handlers in the fixed order, on the
// UI thread unless the port hands over to nobody (smNone: the event thread).
TEST(UiHandOverTest, HandlersRunInFixedOrderWhereTheSyncMethodSays) {
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        SCOPED_TRACE(int(sync));
        const auto line = TFakeLine::Publish("ORDER1");
        TComPort port(nullptr);
        port.SetPort("ORDER1");
        port.SetSyncMethod(sync);
        std::mutex mutex;
        std::vector<std::string> seen;
        std::atomic<int> elsewhere{0};
        const auto note = [&](const std::string& what) {
            elsewhere += OnUiThread() == (sync == smNone) ? 1 : 0;
            std::lock_guard lock(mutex);
            seen.push_back(what);
        };
        const auto count = [&] {
            std::lock_guard lock(mutex);
            return seen.size();
        };
        port.OnRxChar = [&](TObject*, int32_t n) {
            std::string bytes(size_t(n), '\0');
            port.Read(bytes.data(), n);
            note("rx " + bytes);
        };
        port.OnError = [&](TObject*, TComErrors) { note("error"); };
        port.OnDSRChange = [&](TObject*, bool on) {
            if (count() > 0) // the open's report runs where Open was called
                note(on ? "dsr on" : "dsr off");
            else
                seen.push_back("dsr at open");
        };
        port.Open();
        line->InjectErrors(CE_FRAME);
        line->SendWithLines("AT\r", MS_DSR_ON);
        ASSERT_TRUE(PumpUntil([&] { return count() >= 4; }));
        port.OnDSRChange = nullptr;
        port.Close();
        EXPECT_EQ(seen, (std::vector<std::string>{"dsr at open", "error", "rx AT\r", "dsr on"}));
        EXPECT_EQ(elsewhere, 0);
    }
}

// A handler that closes its own port, as a click on the port button served inside the
// hand-over does: the rest of that wake-up is dropped, the event thread ends, the device is
// closed and can be opened again at once.
TEST(UiHandOverTest, HandlerThatClosesItsOwnPortInEachSyncMode) {
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        SCOPED_TRACE(int(sync));
        const auto line = TFakeLine::Publish("CLOSE1");
        const size_t threads = ThreadIds().size();
        TComPort port(nullptr);
        port.SetPort("CLOSE1");
        port.SetSyncMethod(sync);
        std::atomic<int> received{0};
        std::atomic<int> dsr{0};
        std::atomic<bool> closed{false};
        port.OnRxChar = [&](TObject*, int32_t) {
            ++received;
            port.Close();
        };
        port.OnDSRChange = [&](TObject*, bool) { ++dsr; };
        port.OnAfterClose = [&](TObject*) { closed = true; };
        port.Open();
        line->SendWithLines("data", MS_DSR_ON);
        ASSERT_TRUE(PumpUntil([&] { return closed.load(); }));
        EXPECT_TRUE(PumpUntil([&] { return ThreadIds().size() == threads; }));
        EXPECT_EQ(received, 1);
        EXPECT_EQ(dsr, 2) << "reported at open and at close, never on";
        EXPECT_FALSE(line->IsOpen());
        port.OnRxChar = nullptr;
        port.Open(); // the same line again: nothing of the last session is left over
        line->Send("more");
        EXPECT_TRUE(PumpUntil([&] { return port.InputCount() == 4; }));
        port.Close();
    }
}

// Nothing to do, nothing woken: output held in the driver, and a pending read whose time-out
// the loop itself ends.
TEST(UiHandOverTest, LoopSleepsUntilTheLineOrATimeOutHasSomethingToSay) {
    const auto line = TFakeLine::Publish("SLEEP1");
    TComPort port(nullptr);
    port.SetPort("SLEEP1");
    int drained = 0;
    port.OnTxEmpty = [&](TObject*) { ++drained; };
    port.Open();
    line->HoldInDriver(true);
    ASSERT_EQ(port.Write("STX", 3), 3);
    EXPECT_LE(LoopTurns(200), 3);
    EXPECT_EQ(drained, 0);
    line->HoldInDriver(false);
    EXPECT_TRUE(PumpUntil([&] { return drained == 1; }));

    port.Timeouts().SetReadInterval(-1);
    port.Timeouts().SetReadTotalM(0);
    port.Timeouts().SetReadTotalC(300);
    PAsync read = nullptr;
    InitAsync(read);
    char byte = 0;
    port.ReadAsync(&byte, 1, read);
    EXPECT_FALSE(port.IsAsyncCompleted(read));
    EXPECT_TRUE(PumpUntil([&] { return port.IsAsyncCompleted(read); }));
    DoneAsync(read);
    port.Close();
}

TEST(UiHandOverTest, BytesFromThePtyReachOnRxCharOnTheUiThread) {
    TPtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.Path());
    std::string received;
    int calls = 0;
    port.OnRxChar = [&](TObject* sender, int32_t count) {
        EXPECT_EQ(sender, &port);
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        std::string bytes(size_t(count), '\0');
        EXPECT_EQ(port.Read(bytes.data(), count), count);
        received += bytes;
        ++calls;
    };
    port.Open();
    pty.Send("AT\r");
    ASSERT_TRUE(PumpUntil([&] { return received.size() == 3; }));
    EXPECT_EQ(received, "AT\r");
    EXPECT_GE(calls, 1);
    port.Close();
}

TEST(UiHandOverTest, HandlerFailureIsReportedOnTheUiThreadAndEventsGoOn) {
    TPtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.Path());
    int reports = 0;
    SetUiFailureReporter([&] {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        try {
            throw;
        } catch (const std::runtime_error& failure) {
            EXPECT_STREQ(failure.what(), "handler failed");
            ++reports;
        }
    });
    std::string received;
    port.OnRxChar = [&](TObject*, int32_t count) {
        std::string bytes(size_t(count), '\0');
        port.Read(bytes.data(), count);
        received += bytes;
        throw std::runtime_error("handler failed");
    };
    port.Open();
    pty.Send("a");
    ASSERT_TRUE(PumpUntil([&] { return reports == 1; }));
    pty.Send("b");
    EXPECT_TRUE(PumpUntil([&] { return reports == 2; }));
    EXPECT_EQ(received, "ab");
    port.Close();
    SetUiFailureReporter(nullptr);
}

TEST(UiHandOverTest, UnpluggedDeviceLeavesTheEventThreadAsleep) {
    const auto line = Platform::TFakeLine::Publish("UNPLUG1");
    TComPort port(nullptr);
    port.SetPort("UNPLUG1");
    int reports = 0;
    SetUiFailureReporter([&] { ++reports; });
    const std::set<int> before = ThreadIds();
    port.Open();
    std::set<int> fresh;
    for (int id : ThreadIds())
        if (!before.count(id))
            fresh.insert(id);
    ASSERT_EQ(fresh.size(), 1u) << "the event thread";
    const int eventThread = *fresh.begin();

    line->Unplug();
    // The thread learns of it once (a line error whose status query then fails: one report).
    ASSERT_TRUE(PumpUntil([&] { return reports == 1; }));
    const long switches = ContextSwitches(eventThread);
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    // A spinning thread would switch thousands of times in these 200 ms; a sleeping one not.
    EXPECT_LE(ContextSwitches(eventThread) - switches, 2);
    EXPECT_LE(LoopTurns(100), 3) << "the loop kept waking";
    EXPECT_EQ(reports, 1);
    port.Close();
    SetUiFailureReporter(nullptr);
}

} // namespace
