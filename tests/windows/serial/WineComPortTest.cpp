// The port on a COM port that Wine maps to a pseudo-terminal, served by the Linux side of the
// test (WineSerialTest.cpp), which answers lines:
//   "check <rate> <bits><parity><stop> <flow>"  "ok" when the terminal is set so, else "bad ..."
//   "send <n>"                                  n bytes, byte i being i % 251
//   "quiet"                                     nothing
//   "dsr on", "dsr off", "rlsd on", "rlsd off"  switches the far end's line, when the Linux
//                                               side emulates modem lines; nothing
// The port's name comes in VELL_WINE_COM; without it the tests skip. VELL_WINE_LINES is set
// when the pseudo-terminal has emulated modem lines (the Linux side's preloaded library).
//
// Where Wine on a pseudo-terminal does not do what Windows does, a test accepts both and says
// which it saw ("wine: ..."), so the list of Wine's limits stays checked.
#include "serial/ComPort.h"
#include "serial/EnumComPorts.h"
#include "serial/ThreadSync.h"
#include "serial/platform/CommApi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string PortName() {
    const char* name = std::getenv("VELL_WINE_COM");
    return name != nullptr ? name : "";
}

class WineComPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (PortName().empty())
            GTEST_SKIP() << "VELL_WINE_COM names no port";
        ThreadSync::AdoptUiThread();
        port.SetPort(PortName());
        // Reads end when all bytes came or after this long; the peer answers at once.
        port.Timeouts().SetReadInterval(0);
        port.Timeouts().SetReadTotalC(10000);
    }

    // Opens the port. Wine has no modem status for a pseudo-terminal, so the after-open report
    // of the signals fails (code 11, error 50) with the port open.
    void Open(TComPort& target) {
        try {
            target.Open();
        } catch (const EComPort& e) {
            EXPECT_EQ(std::pair(e.ErrorCode(), e.SystemErrorCode()),
                      std::pair(int32_t(CError_ModemStatFailed), 50))
                << e.what();
            Note("no modem status: Open reports code 11 (error 50) after opening");
        }
        ASSERT_TRUE(target.Connected());
    }
    std::string Ask(const std::string& line, int32_t replyLength) {
        EXPECT_EQ(port.WriteStr(line + "\n"), int32_t(line.size() + 1));
        std::string reply;
        port.ReadStr(reply, replyLength);
        return reply;
    }
    static void Note(const char* text) { std::printf("wine: %s\n", text); }

    TComPort port{nullptr};
};

} // namespace

TEST_F(WineComPort, TheListHasTheMappedPort) {
    std::vector<std::string> ports;
    EnumComPorts(ports);
    EXPECT_NE(std::find(ports.begin(), ports.end(), PortName()), ports.end());
}

TEST_F(WineComPort, OpenSettingsWriteReadClose) {
    // The receiver's settings, then others applied on the open port.
    port.SetBaudRate(br19200);
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsHandshake);
    Open(port);
    EXPECT_EQ(Ask("check 19200 8N1 rtscts", 3), "ok\n");
    // A pseudo-terminal keeps 8 data bits without parity whatever it is told.
    port.SetBaudRate(br9600);
    port.SetStopBits(sbTwoStopBits);
    port.FlowControl().SetFlowControl(fcSoftware);
    EXPECT_EQ(Ask("check 9600 8N2 xonxoff", 3), "ok\n");
    port.FlowControl().SetFlowControl(fcNone);

    std::string block = Ask("send 3000", 3000);
    ASSERT_EQ(block.size(), 3000u);
    for (size_t i = 0; i < block.size(); ++i)
        ASSERT_EQ(uint8_t(block[i]), i % 251) << i;
    // A read that ends by its time-out returns what came: nothing.
    port.Timeouts().SetReadTotalC(300);
    EXPECT_EQ(Ask("quiet", 10), "");

    port.Close();
    EXPECT_FALSE(port.Connected());
    Open(port); // free again after the close
    port.Close();
}

TEST_F(WineComPort, WhereWineDiffersFromWindows) {
    Open(port);
    try {
        port.Signals();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_ModemStatFailed);
        Note("no modem status on a pseudo-terminal: Signals raises code 11 (error 50)");
    }
    try {
        port.SetDTR(true);
    } catch (const EComPort& e) {
        EXPECT_EQ(std::pair(e.ErrorCode(), e.SystemErrorCode()),
                  std::pair(int32_t(CError_EscapeComFailed), 50));
        Note("no DTR or RTS on a pseudo-terminal: SetDTR raises code 12 (error 50)");
    }
    try {
        port.SetDataBits(dbSeven);
    } catch (const EComPort& e) {
        EXPECT_EQ(std::pair(e.ErrorCode(), e.SystemErrorCode()),
                  std::pair(int32_t(CError_SetStateFailed), 87));
        Note("a pseudo-terminal keeps 8 data bits without parity: SetCommState fails (error 87)");
    }
    port.SetDataBits(dbEight);
    TComPort second(nullptr);
    second.SetPort(PortName());
    second.Events = {};
    try {
        second.Open();
    } catch (const EComPort& e) {
        if (e.ErrorCode() == CError_OpenFailed)
            EXPECT_EQ(e.SystemErrorCode(), 5) << e.what(); // held by the first
        else
            EXPECT_EQ(e.ErrorCode(), CError_ModemStatFailed) << e.what();
    }
    if (second.Connected())
        Note("no exclusive use: a second open of the port succeeds");
    second.Close();

    // "Return at once" time-outs with nothing waiting: Windows ends the read at once with
    // nothing; Wine keeps it until a byte comes.
    port.Timeouts().SetReadInterval(-1);
    port.Timeouts().SetReadTotalC(0);
    char byte = 0;
    PAsync async = nullptr;
    InitAsync(async);
    port.ReadAsync(&byte, 1, async);
    port.WriteStr("send 1\n");
    const int32_t read = port.WaitForAsync(async);
    DoneAsync(async);
    if (read == 1)
        Note("a read with return-at-once time-outs waits for the next byte");
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalC(2000);
    std::string rest;
    port.ReadStr(rest, 1 - read);
    EXPECT_EQ(rest.size(), size_t(1 - read));
    port.Close();
}

// The event wait, on the platform layer: on Windows the received byte ends it; under Wine it
// fails within milliseconds (the pseudo-terminal has no modem lines). The layer then fails the
// next wait at once, its event unsignalled, until the mask is set again, so that a loop of
// waits sleeps instead of spinning.
TEST_F(WineComPort, AFailedEventWaitIsNotRepeatedUntilTheMaskChanges) {
    port.Events = {};
    Open(port);
    namespace P = Platform;
    const P::HANDLE device = port.Handle();
    P::OVERLAPPED record;
    record.hEvent = P::CreateEvent(true, true);
    P::DWORD mask = 0;
    P::DWORD count = 0;
    ASSERT_TRUE(P::SetCommMask(device, P::EV_RXCHAR));
    if (!P::WaitCommEvent(device, &mask, &record)) {
        ASSERT_EQ(P::GetLastError(), P::ERROR_IO_PENDING);
    }
    port.WriteStr("send 1\n");
    ASSERT_EQ(P::WaitForSingleObject(record.hEvent, P::INFINITE), P::WAIT_OBJECT_0);
    if (P::GetOverlappedResult(device, &record, &count, false)) {
        EXPECT_EQ(mask, P::EV_RXCHAR);
    } else {
        const P::DWORD error = P::GetLastError();
        Note("an event wait ends in failure within milliseconds");
        EXPECT_FALSE(P::WaitCommEvent(device, &mask, &record));
        EXPECT_EQ(P::GetLastError(), error);
        EXPECT_EQ(P::WaitForSingleObject(record.hEvent, 0), P::WAIT_TIMEOUT);
        // A new mask: the system is asked again (the byte may still be waiting).
        ASSERT_TRUE(P::SetCommMask(device, P::EV_RXCHAR));
        const bool started =
            P::WaitCommEvent(device, &mask, &record) || P::GetLastError() == P::ERROR_IO_PENDING;
        EXPECT_TRUE(started) << P::GetLastError();
        P::SetCommMask(device, 0);
        if (started) // the record must outlive the wait
            P::WaitForSingleObject(record.hEvent, P::INFINITE);
    }
    P::CloseHandle(record.hEvent);
    port.Close();
}

// With emulated modem lines Wine's event wait works on a pseudo-terminal: the receiver's bytes
// and its DSR and RLSD edges each end a wait with their event, and the modem status follows.
TEST_F(WineComPort, EventsAndModemStatusOnEmulatedLines) {
    if (std::getenv("VELL_WINE_LINES") == nullptr)
        GTEST_SKIP() << "no emulated modem lines";
    port.Events = {};
    port.Open(); // the modem status after the open works too
    namespace P = Platform;
    const P::HANDLE device = port.Handle();
    ASSERT_TRUE(P::SetCommMask(device, P::EV_RXCHAR | P::EV_DSR | P::EV_RLSD));
    const struct {
        const char* request;
        P::DWORD event;
        P::DWORD status; // after the event
    } steps[] = {
        {"dsr on", P::EV_DSR, P::MS_DSR_ON},
        {"rlsd on", P::EV_RLSD, P::MS_DSR_ON | P::MS_RLSD_ON},
        {"send 1", P::EV_RXCHAR, P::MS_DSR_ON | P::MS_RLSD_ON},
        {"dsr off", P::EV_DSR, P::MS_RLSD_ON},
        {"rlsd off", P::EV_RLSD, 0},
    };
    P::OVERLAPPED record;
    record.hEvent = P::CreateEvent(true, false);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.request);
        P::DWORD mask = 0;
        P::DWORD count = 0;
        P::ResetEvent(record.hEvent);
        const bool started =
            P::WaitCommEvent(device, &mask, &record) || P::GetLastError() == P::ERROR_IO_PENDING;
        ASSERT_TRUE(started) << P::GetLastError();
        port.WriteStr(std::string(step.request) + "\n");
        ASSERT_EQ(P::WaitForSingleObject(record.hEvent, 10000), P::WAIT_OBJECT_0);
        ASSERT_TRUE(P::GetOverlappedResult(device, &record, &count, false)) << P::GetLastError();
        EXPECT_EQ(mask, step.event);
        P::DWORD status = 0;
        ASSERT_TRUE(P::GetCommModemStatus(device, &status));
        EXPECT_EQ(status & (P::MS_DSR_ON | P::MS_RLSD_ON | P::MS_CTS_ON), step.status);
        if (step.event == P::EV_RXCHAR) {
            std::string byte;
            EXPECT_EQ(port.ReadStr(byte, 1), 1);
        }
    }
    P::CloseHandle(record.hEvent);
    port.Close();
}
