#include "platform/CommApi.h"

#include "../support/ThreadStats.h"
#include "PtyPair.h"
#include "platform/CommDevice.h"

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
    std::thread waiter([&] {
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

    std::set<int> fresh;
    for (int id : ThreadIds())
        if (!before.count(id))
            fresh.insert(id);
    // The port's own threads carry names of their own: only the waiter has the program's.
    const std::string program = ThreadName(int(::getpid()));
    EXPECT_EQ(std::count_if(fresh.begin(), fresh.end(),
                            [&](int id) { return ThreadName(id) == program; }),
              1);
    std::map<int, long> switches;
    for (int id : fresh)
        switches[id] = ContextSwitches(id);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int id : fresh)
        EXPECT_LE(ContextSwitches(id) - switches[id], 2) << "thread " << id << " kept waking";

    ASSERT_TRUE(SetCommMask(port, 0));
    waiter.join();
    CloseHandle(port);
}

} // namespace
