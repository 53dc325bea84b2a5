// The event thread: wake-ups become handler calls on the right thread, in the fixed order,
// and a handler's failure is reported without stopping the events.

#include "serial/ComThread.h"

#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "serial/ThreadSync.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/ThreadStats.h"

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
    // Whether bytes left unread when the port closed are gone: opened again, it reads only
    // what comes after.
    bool InputWasPurged() {
        TComPort again(nullptr);
        again.SetPort(name);
        again.Events = TComEvents();
        again.Open();
        line->Send("z");
        TComEvents events{evRxChar};
        again.WaitForEvent(events, 0, 5000);
        char first = 0;
        return again.Read(&first, 1) == 1 && first == 'z';
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
    std::atomic<int> drained{0};
    port.OnTxEmpty = [&](TObject*) { ++drained; };
    port.Open();
    ASSERT_TRUE(ServeUntil([&] { return port.EventThreadId() != 0; }));
    const int eventThread = int(port.EventThreadId());

    line->HoldInDriver(true);
    ASSERT_EQ(port.Write("STX", 3), 3);
    // Its own waits only: a loaded machine may preempt it as often as it likes.
    const long switches = ContextSwitches(eventThread, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(ContextSwitches(eventThread, true) - switches, 2) << "the thread kept looking";
    ThreadSync::ServePending();
    EXPECT_EQ(drained, 0);

    line->HoldInDriver(false);
    EXPECT_TRUE(ServeUntil([&] { return drained == 1; }));
    port.Close();
}

TEST_F(ComThreadTest, StopWhileWaitingEndsTheThreadAndDiscardsTheQueues) {
    // An event thread another test abandoned ends by itself, and closes its events then.
    ASSERT_TRUE(ServeUntil([] { return TComThread::Running() == 0; }));
    const size_t handles = OpenHandleCount();
    for (int cycle = 0; cycle < 40; ++cycle) {
        port.Open();
        EXPECT_EQ(TComThread::Running(), 1);
        port.Close();
        // The close returned after the thread's end.
        EXPECT_EQ(TComThread::Running(), 0);
    }
    EXPECT_EQ(OpenHandleCount(), handles) << "the thread's events are closed";

    // More than the port takes in: the rest waits in the device, unread, when the port closes.
    port.Open();
    line->Send(std::string(16384, 'a'));
    ASSERT_TRUE(ServeUntil([&] { return port.InputCount() > 0; }));
    port.Close();
    EXPECT_TRUE(InputWasPurged());
}

// A handler that closes its own port, as a click on the port button served inside the
// hand-over does: the close cannot wait for the event thread, which waits for the handler. The
// port ends closed, the rest of that wake-up is dropped, the thread ends by itself.
TEST_F(ComThreadTest, HandlerThatClosesItsOwnPortInEachSyncMode) {
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        SCOPED_TRACE(int(sync));
        seen.clear();
        TComPort own(nullptr);
        own.SetPort(name);
        own.SetSyncMethod(sync);
        std::atomic<bool> closed{false};
        own.OnRxChar = [&](TObject*, int32_t) {
            Note("rx");
            own.Close();
        };
        own.OnDSRChange = [&](TObject*, bool on) { Note(on ? "dsr on" : "dsr off"); };
        own.OnBeforeClose = [&](TObject*) { Note("before close"); };
        own.OnAfterClose = [&](TObject*) {
            Note("after close");
            closed = true;
        };
        line->SetLines(0);
        own.Open();
        // Data and DSR in one wake-up: the data's handler closes, DSR is never reported on.
        line->SendWithLines(std::string(16384, 'a'), MS_DSR_ON);
        ASSERT_TRUE(ServeUntil([&] { return closed.load(); }));
        EXPECT_FALSE(own.Connected());
        EXPECT_EQ(Seen(), (std::vector<std::string>{"dsr off", "rx", "dsr off", "before close",
                                                    "after close"}));
        EXPECT_TRUE(ServeUntil([] { return TComThread::Running() == 0; })); // abandoned, ended
        EXPECT_EQ(Seen().size(), 5u);
        EXPECT_TRUE(InputWasPurged()); // and the device is free again
    }
}

// A close asked for while a close is under way does nothing: from the close's own notification,
// and from a hand-over the close serves while it waits for the thread.
TEST_F(ComThreadTest, CloseDuringCloseClosesOnce) {
    std::atomic<bool> queued{false};
    ThreadSync::SetWaker([&] { queued = true; });
    for (bool fromHandOver : {false, true}) {
        SCOPED_TRACE(fromHandOver);
        seen.clear();
        queued = false;
        port.OnBeforeClose = [&](TObject*) {
            Note("before close");
            if (!fromHandOver)
                port.Close();
        };
        port.OnAfterClose = [&](TObject*) { Note("after close"); };
        port.OnRxChar = [&](TObject*, int32_t) {
            Note("rx");
            port.Close();
        };
        port.Open();
        if (fromHandOver) {
            line->Send("data");
            // Nobody serves: the thread is now blocked handing the data over to this thread.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!queued && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            ASSERT_TRUE(queued);
        }
        port.Close();
        EXPECT_FALSE(port.Connected());
        const std::vector<std::string> once = {"before close", "after close"};
        const std::vector<std::string> served = {"before close", "rx", "after close"};
        EXPECT_EQ(Seen(), fromHandOver ? served : once);
    }
    ThreadSync::SetWaker(nullptr);
}

TEST_F(ComThreadTest, EventsChangedWhileOpenWaitForTheNextOpen) {
    port.Events = TComEvents{evDSR};
    port.OnRxChar = [&](TObject*, int32_t) { Note("rx"); };
    port.OnDSRChange = [&](TObject*, bool on) { Note(on ? "dsr on" : "dsr off"); };
    port.Open();
    port.Events = AllComEvents;
    DWORD mask = 0;
    EXPECT_TRUE(GetCommMask(port.Handle(), mask));
    EXPECT_EQ(mask, EV_DSR);
    line->SendWithLines("x", MS_DSR_ON); // one wake-up: data first, if it were watched
    ASSERT_TRUE(ServeUntil([&] { return Seen().size() == 2; }));
    port.Close();
    port.Open();
    line->Send("y");
    ASSERT_TRUE(ServeUntil([&] { return Seen().size() == 5; }));
    EXPECT_EQ(Seen(), (std::vector<std::string>{"dsr off", "dsr on", "dsr off", "dsr on", "rx"}));
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
