// The event thread: wake-ups become handler calls on the right thread, in the fixed order,
// and a handler's failure is reported without stopping the events.

#include "ComPort.h"
#include "ExceptionHandler.h"
#include "ThreadStats.h"
#include "ThreadSync.h"
#include "platform/FakeDevice.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

class ComThreadTest : public testing::Test {
protected:
    ComThreadTest() {
        ThreadSync::SetUiThread(std::this_thread::get_id());
        port.SetPort(name);
    }
    ~ComThreadTest() override { SetExceptionHandler(nullptr); }

    // Serves hand-overs as a message loop would, until `done` or two seconds passed.
    bool ServeUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            ThreadSync::ServePending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    std::vector<std::string> Seen() {
        std::lock_guard lock(mutex);
        return seen;
    }
    void Note(const std::string& what) {
        std::lock_guard lock(mutex);
        seen.push_back(what);
    }

    const std::string name = "THREAD" + std::to_string(reinterpret_cast<uintptr_t>(this));
    std::shared_ptr<TFakeLine> line = TFakeLine::Publish(name);
    TComPort port{nullptr};
    std::mutex mutex;
    std::vector<std::string> seen;
};

TEST_F(ComThreadTest, ThreadSyncRunsHandlersOnTheUiThreadInFixedOrder) {
    const auto ui = std::this_thread::get_id();
    port.OnRxChar = [&](TObject*, int32_t count) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        std::string bytes(size_t(count), '\0');
        port.Read(bytes.data(), count);
        Note("rx " + bytes);
    };
    port.OnDSRChange = [&](TObject*, bool on) { Note(on ? "dsr on" : "dsr off"); };
    port.Open();
    ASSERT_TRUE(ServeUntil([&] { return Seen().size() == 1; })); // the open's DSR report
    // Both arrive before the thread looks again: one wake-up, error and data before lines.
    line->SendWithLines("AT\r", MS_DSR_ON);
    ASSERT_TRUE(ServeUntil([&] { return Seen().size() >= 3; }));
    const auto got = Seen();
    EXPECT_EQ(got[0], "dsr off");
    EXPECT_EQ(got[1], "rx AT\r");
    EXPECT_EQ(got[2], "dsr on");
    port.Close();
}

TEST_F(ComThreadTest, HandlerFailureIsReportedAndEventsGoOn) {
    std::atomic<int> reports{0};
    SetExceptionHandler([&](TObject* sender) {
        EXPECT_EQ(sender, &port);
        ++reports;
    });
    port.SetSyncMethod(smNone);
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TObject*, int32_t count) {
        std::string bytes(size_t(count), '\0');
        port.Read(bytes.data(), count);
        if (++calls == 1)
            throw std::runtime_error("handler failed");
    };
    port.Open();
    line->Send("one");
    ASSERT_TRUE(ServeUntil([&] { return calls == 1; }));
    line->Send("two");
    EXPECT_TRUE(ServeUntil([&] { return calls == 2; }));
    EXPECT_EQ(reports, 1);
    port.Close();
}

TEST_F(ComThreadTest, WindowSyncDeliversThroughTheHiddenWindow) {
    port.SetSyncMethod(smWindowSync);
    std::atomic<int> reports{0};
    SetExceptionHandler([&](TObject*) { ++reports; });
    port.OnRxChar = [&](TObject*, int32_t count) {
        std::string bytes(size_t(count), '\0');
        port.Read(bytes.data(), count);
        Note(bytes);
        throw std::runtime_error("caught by the window");
    };
    port.Open();
    ASSERT_NE(port.Window(), nullptr);
    line->Send("x");
    EXPECT_TRUE(ServeUntil([&] { return reports == 1; }));
    EXPECT_EQ(Seen(), std::vector<std::string>{"x"});
    port.Close();
    EXPECT_EQ(port.Window(), nullptr);
}

TEST_F(ComThreadTest, CloseServesTheHandOverTheThreadIsBlockedIn) {
    std::atomic<bool> queued{false};
    ThreadSync::SetWaker([&] { queued = true; });
    bool handled = false;
    port.OnRxChar = [&](TObject*, int32_t) { handled = true; };
    port.Open();
    line->Send("data");
    // Nobody serves: the thread is now blocked handing the data over to this thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!queued && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(queued);
    port.Close(); // must not deadlock; the handler runs during the close
    EXPECT_TRUE(handled);
    EXPECT_FALSE(port.Connected());
    ThreadSync::SetWaker(nullptr);
}

// The driver sends as slowly as the line: "output drained" comes once it has sent the last byte,
// however long that takes, and the thread sleeps until then instead of looking again and again.
TEST_F(ComThreadTest, TxEmptyComesWhenTheDriverHasSentEverything) {
    int drained = 0;
    port.OnTxEmpty = [&](TObject*) { ++drained; };
    const std::set<int> before = ThreadIds();
    port.Open();
    std::set<int> fresh;
    for (int id : ThreadIds())
        if (!before.count(id))
            fresh.insert(id);
    ASSERT_EQ(fresh.size(), 1u) << "the event thread";
    const int eventThread = *fresh.begin();

    line->HoldInDriver(true);
    ASSERT_EQ(port.Write("STX", 3), 3);
    const long switches = ContextSwitches(eventThread);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(ContextSwitches(eventThread) - switches, 2) << "the thread kept looking";
    ThreadSync::ServePending();
    EXPECT_EQ(drained, 0);

    line->HoldInDriver(false);
    EXPECT_TRUE(ServeUntil([&] { return drained == 1; }));
    port.Close();
}

TEST_F(ComThreadTest, NoEventsNoThread) {
    port.Events = TComEvents();
    bool afterOpen = false;
    port.OnAfterOpen = [&](TObject*) { afterOpen = true; };
    port.Open();
    EXPECT_TRUE(afterOpen);
    TComEvents events{evRxChar};
    port.WaitForEvent(events, 0, 0); // allowed without a thread
    port.Close();
}

TEST_F(ComThreadTest, UnpluggedDeviceDoesNotFireAgainAndAgain) {
    // The wait pending when the device goes learns of it once, as a line error; every later
    // wait fails at once and leaves its event unsignalled, so an event thread sleeps.
    port.Events = TComEvents();
    port.Open();
    line->Unplug();
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, true);
    DWORD mask = 0;
    SetCommMask(port.Handle(), EV_RXCHAR | EV_ERR);
    EXPECT_TRUE(WaitCommEvent(port.Handle(), &mask, &overlapped));
    EXPECT_EQ(mask, EV_ERR);
    EXPECT_FALSE(WaitCommEvent(port.Handle(), &mask, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 50), WAIT_TIMEOUT);
    CloseHandle(overlapped.hEvent);
    port.Close();
}

} // namespace
