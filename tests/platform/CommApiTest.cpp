#include "serial/platform/CommApi.h"

#include "serial/platform/CommDevice.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ThreadStats.h"

#include <algorithm>
#include <asm/termbits.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace Platform;

termios2 LineOf(const TPtyPair& pty) {
    termios2 tio{};
    EXPECT_EQ(::ioctl(pty.Master(), TCGETS2, &tio), 0);
    return tio;
}

HANDLE OpenPort(const TPtyPair& pty) {
    const HANDLE port = CreateFile(("\\\\.\\" + pty.Path()).c_str());
    if (port == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + pty.Path());
    return port;
}

// Another program left the line at 57600 baud, two stop bits, XON/XOFF with its own
// characters. A fresh handle reports that, and the usual get, change one field, set works.
TEST(CommApi, FreshHandleReportsTheSettingsTheDeviceHolds) {
    TPtyPair pty;
    termios2 left = LineOf(pty);
    left.c_cflag = (left.c_cflag & ~(CBAUD | CSIZE | PARENB)) | B57600 | CS8 | CSTOPB;
    left.c_iflag |= IXON | IXOFF;
    left.c_cc[VSTART] = 'A';
    left.c_cc[VSTOP] = 'B';
    ASSERT_EQ(::ioctl(pty.Master(), TCSETS2, &left), 0);

    const HANDLE port = OpenPort(pty);
    DCB dcb;
    ASSERT_TRUE(GetCommState(port, dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.Flags & (DCB_BINARY | DCB_PARITY | DCB_OUTX | DCB_INX | DCB_OUTX_CTS_FLOW),
              DCB_BINARY | DCB_OUTX | DCB_INX);
    EXPECT_EQ(dcb.XonChar, 'A');
    EXPECT_EQ(dcb.XoffChar, 'B');

    dcb.BaudRate = 19200;
    ASSERT_TRUE(SetCommState(port, dcb)) << GetLastError();
    const termios2 now = LineOf(pty);
    EXPECT_EQ(now.c_ospeed, 19200u);
    EXPECT_NE(now.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(now.c_iflag & (IXON | IXOFF), unsigned(IXON | IXOFF));
    CloseHandle(port);
}

// A pseudo-terminal always carries 8 data bits without parity: any other frame is refused and
// leaves the line, and what GetCommState reports, as they were. Two stop bits it does hold.
// A test's device opener, answering every name as the case says and opening nothing itself.
DWORD OpenerAnswer = ERROR_SUCCESS;
std::string OpenerAsked;
std::unique_ptr<TCommDevice> AnsweringOpener(const std::string& portName, DWORD& error) {
    OpenerAsked = portName;
    error = OpenerAnswer;
    return nullptr;
}

// An installed opener is asked before the system's terminal: a name it does not hold still
// opens the terminal, a name it refuses is never opened there.
TEST(CommApi, InstalledOpenerIsAskedBeforeTheTerminal) {
    TPtyPair pty;
    const struct {
        DWORD answer;
        bool opens;
    } cases[] = {{ERROR_SUCCESS, true}, {ERROR_ACCESS_DENIED, false}};
    SetDeviceOpener(&AnsweringOpener);
    for (const auto& c : cases) {
        OpenerAnswer = c.answer;
        OpenerAsked.clear();
        const HANDLE port = CreateFile(("\\\\.\\" + pty.Path()).c_str());
        EXPECT_EQ(OpenerAsked, pty.Path());
        EXPECT_EQ(port != INVALID_HANDLE_VALUE, c.opens) << c.answer;
        if (port != INVALID_HANDLE_VALUE)
            CloseHandle(port);
        else
            EXPECT_EQ(GetLastError(), c.answer);
    }
    SetDeviceOpener(nullptr);
}

TEST(CommApi, FrameTheDeviceCannotHoldIsRefused) {
    TPtyPair pty;
    const HANDLE port = OpenPort(pty);
    DCB held;
    ASSERT_TRUE(GetCommState(port, held));
    held.BaudRate = 9600;
    held.ByteSize = 8;
    held.Parity = NOPARITY;
    held.StopBits = ONESTOPBIT;
    ASSERT_TRUE(SetCommState(port, held)) << GetLastError();

    const struct {
        uint8_t byteSize, parity, stopBits;
    } refused[] = {{7, EVENPARITY, TWOSTOPBITS},
                   {7, NOPARITY, ONESTOPBIT},
                   {8, ODDPARITY, ONESTOPBIT},
                   {8, MARKPARITY, ONESTOPBIT},
                   {5, NOPARITY, ONE5STOPBITS}};
    for (const auto& frame : refused) {
        SCOPED_TRACE(testing::Message() << int(frame.byteSize) << " data bits, parity "
                                        << int(frame.parity) << ", stop " << int(frame.stopBits));
        DCB dcb = held;
        dcb.BaudRate = 4800;
        dcb.ByteSize = frame.byteSize;
        dcb.Parity = frame.parity;
        dcb.StopBits = frame.stopBits;
        EXPECT_FALSE(SetCommState(port, dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        DCB now;
        ASSERT_TRUE(GetCommState(port, now));
        EXPECT_EQ(now.BaudRate, 9600u);
        EXPECT_EQ(now.ByteSize, 8);
        EXPECT_EQ(now.Parity, NOPARITY);
        EXPECT_EQ(now.StopBits, ONESTOPBIT);
        const termios2 line = LineOf(pty);
        EXPECT_EQ(line.c_ospeed, 9600u);
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), unsigned(CS8));
    }

    DCB twoStops = held;
    twoStops.StopBits = TWOSTOPBITS;
    EXPECT_TRUE(SetCommState(port, twoStops)) << GetLastError();
    EXPECT_NE(LineOf(pty).c_cflag & CSTOPB, 0u);
    CloseHandle(port);
}

// Written bytes bring "output drained" once the terminal has sent them; afterwards no thread of
// the open port wakes while nothing happens.
TEST(CommApi, OutputDrainedComesAndTheOpenPortThenSleeps) {
    TPtyPair pty;
    const std::set<int> before = ThreadIds();
    const HANDLE port = OpenPort(pty);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_ERR));

    std::atomic<DWORD> seen{0};
    std::atomic<int> waiterId{0};
    std::thread waiter([&] {
        waiterId = int(GetCurrentThreadId());
        OVERLAPPED overlapped;
        overlapped.hEvent = CreateEvent(true, false);
        DWORD mask = 0;
        // Ends when the mask is cleared: the wait then completes with nothing seen.
        do {
            mask = 0;
            if (!WaitCommEvent(port, &mask, &overlapped) && GetLastError() == ERROR_IO_PENDING)
                GetOverlappedResult(port, &overlapped, nullptr, true);
            seen |= mask;
        } while (mask != 0);
        CloseHandle(overlapped.hEvent);
    });

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "STX,EF81", 8, &written, nullptr));
    EXPECT_EQ(pty.Receive(8), "STX,EF81");
    for (int i = 0; i < 1000 && (seen & EV_TXEMPTY) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(seen & EV_TXEMPTY, EV_TXEMPTY);

    // Only the threads this test knows: the port's own, which carry its names, and the waiter.
    // Others may come and go in the process (a sanitizer's, a toolkit's).
    std::set<int> watched{waiterId.load()};
    for (int id : ThreadIds())
        if (!before.count(id) && ThreadName(id).rfind("tty-", 0) == 0)
            watched.insert(id);
    // A pseudo-terminal has no modem lines, so its line watcher has ended already.
    EXPECT_GE(watched.size(), 2u) << "the waiter and the terminal's output watcher";
    std::map<int, long> switches;
    for (int id : watched)
        switches[id] = ContextSwitches(id, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int id : watched)
        EXPECT_LE(ContextSwitches(id, true) - switches[id], 2) << "thread " << id << " kept waking";

    ASSERT_TRUE(SetCommMask(port, 0));
    waiter.join();
    CloseHandle(port);
}

// A waiter that only waits on its wait's event, as a Windows program does, is woken by the
// drain of bytes written while it sleeps there; an earlier look at the pending wait from another
// thread must not leave it deaf.
TEST(CommApi, OutputDrainedWakesAWaiterOnTheEventAlone) {
    TPtyPair pty;
    const HANDLE port = OpenPort(pty);
    ASSERT_TRUE(SetCommMask(port, EV_TXEMPTY));
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, false);
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(port, &mask, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(GetOverlappedResult(port, &overlapped, nullptr, false));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    std::atomic<int> waiterId{0};
    std::atomic<bool> woken{false};
    std::thread waiter([&] {
        waiterId = int(GetCurrentThreadId());
        woken = WaitForSingleObject(overlapped.hEvent, INFINITE) == WAIT_OBJECT_0;
    });
    for (int i = 0; i < 5000 && !(waiterId != 0 && WaitsInPoll(waiterId)); ++i)
        ::usleep(1000);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "ACK,1", 5, &written, nullptr));
    for (int i = 0; i < 10000 && !woken; ++i)
        ::usleep(1000);
    EXPECT_TRUE(woken) << "the drain did not wake the waiter";
    SetCommMask(port, 0); // ends the wait if it still pends
    waiter.join();
    EXPECT_EQ(mask, DWORD(EV_TXEMPTY));
    EXPECT_EQ(pty.Receive(5), "ACK,1");
    CloseHandle(overlapped.hEvent);
    CloseHandle(port);
}

// Until the port's input queue holds `count` bytes; false after five seconds without.
bool InputReaches(HANDLE port, DWORD count) {
    COMSTAT status;
    for (int i = 0; i < 5000; ++i) {
        if (!ClearCommError(port, nullptr, &status) || status.cbInQue >= count)
            return status.cbInQue == count;
        ::usleep(1000);
    }
    return false;
}

// The events seen since the last wait, without waiting: a wait that would pend is ended.
DWORD EventsSeen(HANDLE port) {
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, false);
    DWORD mask = 0, wanted = 0;
    if (!WaitCommEvent(port, &mask, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
        GetCommMask(port, wanted);
        SetCommMask(port, wanted); // ends the wait with nothing seen
        GetOverlappedResult(port, &overlapped, nullptr, true);
        mask = 0;
    }
    CloseHandle(overlapped.hEvent);
    return mask;
}

// "Input queue 80 % full" comes with the byte that fills four fifths of the queue's size,
// once; and a read whose gap between bytes exceeds its interval time-out ends with what came.
TEST(CommApi, InputQueueEventsAndIntervalTimeOut) {
    TPtyPair pty;
    const HANDLE port = OpenPort(pty);
    DCB raw; // no echo: the echo would fill the far end's queue and stall the line
    ASSERT_TRUE(GetCommState(port, raw));
    ASSERT_TRUE(SetCommState(port, raw));
    ASSERT_TRUE(SetupComm(port, 8192, 1024));
    ASSERT_TRUE(SetCommMask(port, EV_RX80FULL));
    const DWORD fourFifths = 8192 * 8 / 10;
    const struct {
        DWORD more;
        DWORD events;
    } fills[] = {{fourFifths - 1, 0}, {1, EV_RX80FULL}, {100, 0}};
    DWORD queued = 0;
    for (const auto& fill : fills) {
        SCOPED_TRACE(testing::Message() << "queue at " << queued + fill.more);
        // In pieces the terminal takes at once; the port takes each in before the next.
        for (DWORD sent = 0; sent < fill.more; sent += 1000) {
            const DWORD piece = std::min<DWORD>(1000, fill.more - sent);
            pty.Send(std::string(piece, 'x'));
            queued += piece;
            ASSERT_TRUE(InputReaches(port, queued));
        }
        EXPECT_EQ(EventsSeen(port), fill.events);
    }
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 20; // no total time-out: only the gap ends it
    ASSERT_TRUE(SetCommTimeouts(port, timeouts));
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, false);
    char buffer[16] = {};
    ASSERT_FALSE(ReadFile(port, buffer, sizeof buffer, nullptr, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    pty.Send("ab");
    ASSERT_EQ(WaitForSingleObject(overlapped.hEvent, 5000), WAIT_OBJECT_0)
        << "the read went on past the gap";
    DWORD got = 0;
    ASSERT_TRUE(GetOverlappedResult(port, &overlapped, &got, false));
    EXPECT_EQ(std::string(buffer, got), "ab");
    CloseHandle(overlapped.hEvent);
    CloseHandle(port);
}

} // namespace
