// Port events reach the Qt UI thread: on a real pseudo-terminal, through the event loop, with
// a handler's failure reported and the events going on; and a device that goes away leaves
// the event thread asleep.

#include "ComPort.h"
#include "PtyPair.h"
#include "ThreadStats.h"
#include "UiHandOver.h"
#include "platform/FakeDevice.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// Runs the event loop until `done` or a generous deadline.
bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
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
    EXPECT_EQ(reports, 1);
    port.Close();
    SetUiFailureReporter(nullptr);
}

} // namespace
