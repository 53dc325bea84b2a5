// The port on a real pseudo-terminal pair: the kernel's own terminal, configured, written,
// read, held exclusively and closed.

#include "serial/ComPort.h"
#include "serial/platform/LineSettings.h"
#include "tests/support/PtyPair.h"

#include <functional>
#include <gtest/gtest.h>
#include <termios.h>
#include <vector>

using namespace Platform;

namespace {

class ComPortPtyTest : public testing::Test {
protected:
    ComPortPtyTest() {
        port.SetPort(pty.Path());
        port.Events = TComEvents(); // the data path alone; the event thread has its own tests
        port.SetBaudRate(br19200);
        port.FlowControl().SetControlDTR(dtrHandshake);
        port.FlowControl().SetControlRTS(rtsHandshake);
    }

    TLineConfig Line() const {
        TLineConfig config;
        EXPECT_EQ(ReadLineConfig(pty.Master(), config), ERROR_SUCCESS);
        return config;
    }

    TPtyPair pty;
    TComPort port{nullptr};
};

TEST_F(ComPortPtyTest, OpenConfiguresTheTerminal) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    TLineConfig line = Line();
    EXPECT_EQ(line.ospeed, 19200u);
    EXPECT_EQ(line.cflag & CSIZE, unsigned(CS8));
    EXPECT_EQ(line.cflag & (PARENB | CSTOPB | CRTSCTS), 0u); // RTS handshake alone: no CTS wait
    EXPECT_EQ(line.lflag & (ICANON | ECHO | ISIG), 0u);

    // Rates without a constant of their own reach the device too, on the open port at once.
    for (const auto& [rate, custom, expected] :
         {std::tuple{br14400, 0, 14400u}, {br256000, 0, 256000u}, {brCustom, 250000, 250000u}}) {
        if (custom != 0)
            port.SetCustomBaudRate(custom);
        port.SetBaudRate(rate);
        EXPECT_EQ(Line().ospeed, expected);
    }
    port.SetStopBits(sbTwoStopBits);
    EXPECT_NE(Line().cflag & CSTOPB, 0u);
    // A pseudo-terminal always carries 8 data bits without parity: another frame is refused and
    // the line keeps the one it had.
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { port.Parity().SetBits(prEven); }, [&] { port.SetDataBits(dbSeven); }}) {
        try {
            change();
            ADD_FAILURE() << "a frame the line cannot hold was taken";
        } catch (const EComPort& failure) {
            EXPECT_EQ(failure.ErrorCode(), 7);
            EXPECT_EQ(failure.SystemErrorCode(), 87);
        }
        EXPECT_EQ(Line().cflag & (CSIZE | PARENB | CSTOPB), unsigned(CS8 | CSTOPB));
        EXPECT_TRUE(port.Connected());
    }
}

TEST_F(ComPortPtyTest, BytesGoBothWays) {
    port.Open();
    EXPECT_EQ(port.Write("STX,EF81", 8), 8);
    EXPECT_EQ(pty.Receive(8), "STX,EF81");

    pty.Send(std::string("\x02S000,0\x03", 8));
    std::string received;
    for (int tries = 0; tries < 2000 && received.size() < 8; ++tries) {
        std::string chunk;
        port.ReadStr(chunk, 8 - int32_t(received.size()));
        received += chunk;
        if (chunk.empty())
            usleep(5000);
    }
    EXPECT_EQ(received, std::string("\x02S000,0\x03", 8));
}

TEST_F(ComPortPtyTest, PortIsHeldExclusively) {
    port.Open();
    TComPort second(nullptr);
    second.SetPort(pty.Path());
    try {
        second.Open();
        FAIL() << "a second open succeeded";
    } catch (const EComPort& failure) {
        EXPECT_EQ(failure.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(failure.SystemErrorCode(), 5);
        EXPECT_STREQ(failure.what(), "Unable to open com port (win error code: 5)");
    }
    EXPECT_FALSE(second.Connected());
    port.Close();
    second.Open(); // released on close
    EXPECT_TRUE(second.Connected());
}

TEST_F(ComPortPtyTest, MissingDeviceGivesNoSuchDevice) {
    port.SetPort("ttyVellNoSuchPort");
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EComPort& failure) {
        EXPECT_EQ(failure.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(failure.SystemErrorCode(), 2);
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortPtyTest, ClosingDiscardsUnreadBytes) {
    port.Open();
    pty.Send("stale");
    for (int tries = 0; tries < 2000 && port.InputCount() < 5; ++tries)
        usleep(5000);
    ASSERT_EQ(port.InputCount(), 5);
    port.Close();
    port.Open();
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(ComPortPtyTest, PortNameChangeReopens) {
    port.Open();
    TPtyPair other;
    port.SetPort(other.Path());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.Write("x", 1), 1);
    EXPECT_EQ(other.Receive(1), "x");
}

} // namespace
