// What the port's less used setters and operations do to the line: on a pseudo-terminal with
// emulated modem lines where the line can show it, on the in-process fake device where only a
// driver could (a break). And the control block's rule for replacing bytes with parity errors.

#include "serial/ComPort.h"
#include "serial/ComPortPlatform.h"
#include "serial/platform/LineSettings.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/ModemLines.h"
#include "tests/support/PtyPair.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace Platform;

namespace {

// An open port on a pseudo-terminal whose far end sets and reads the modem lines.
struct TPtyRig {
    TPtyRig() {
        port.SetPort(pty.Path());
        port.Events = TComEvents(); // no event thread: WaitForEvent is the test's
        port.Open();
    }
    // Until `count` bytes wait in the port's input queue, for at most five seconds; the count.
    int32_t InputReaches(int32_t count) {
        for (int i = 0; i < 5000 && port.InputCount() < count; ++i)
            ::usleep(1000);
        return port.InputCount();
    }
    std::string Read(int32_t count) {
        InputReaches(count);
        std::string got;
        port.ReadStr(got, count);
        return got;
    }

    const ModemLines::TPrivateModemLines seam; // first made, last gone: outlives the port
    TPtyPair pty;
    ModemLines::TModemLines far{pty.Path()};
    TComPort port{nullptr};
};

// An open port on the fake device.
struct TFakeRig {
    TFakeRig() {
        port.SetPort(name);
        port.Events = TComEvents();
        port.Open();
    }
    const std::string name = "FAKE-LINE-" + std::to_string(reinterpret_cast<uintptr_t>(this));
    std::shared_ptr<TFakeLine> line = TFakeLine::Publish(name);
    TComPort port{nullptr};
};

std::string Rts(const TPtyRig& rig) {
    return rig.far.Lines() & TIOCM_RTS ? "RTS on" : "RTS off";
}

TEST(ComPortOnTheLine, EachSetterAndOperationReachesTheLine) {
    const struct {
        const char* call;
        std::function<std::string()> run; // what the line shows after the call
        std::string shown;
    } rows[] = {
        {"SetBreak",
         [] {
             TFakeRig rig;
             rig.port.SetBreak(true);
             rig.port.SetBreak(false);
             std::string escapes;
             for (DWORD escape : rig.line->Escapes())
                 escapes += escape == SETBREAK ? "set " : escape == CLRBREAK ? "clear " : "? ";
             return escapes;
         },
         "set clear "},
        // A queue of 8 KiB takes in 6000 waiting bytes; the smallest (4 KiB) stops at 5000.
        {"SetBuffer",
         [] {
             TPtyRig rig;
             TComBuffer buffer;
             buffer.SetInputSize(8192);
             rig.port.SetBuffer(buffer);
             for (int sent = 0; sent < 6000; sent += 1000) {
                 rig.pty.Send(std::string(1000, 'x'));
                 rig.InputReaches(sent + 1000);
             }
             return std::to_string(rig.port.InputCount());
         },
         "6000"},
        {"SetParity",
         [] {
             TPtyRig rig;
             TComParity parity;
             parity.SetCheck(true);
             rig.port.SetParity(parity);
             TLineConfig line;
             ReadLineConfig(rig.pty.Master(), line);
             return std::string(line.iflag & INPCK ? "checked" : "unchecked");
         },
         "checked"},
        {"SetDiscardNull",
         [] {
             TPtyRig rig;
             rig.port.SetDiscardNull(true);
             rig.pty.Send(std::string("a\0b", 3));
             return rig.Read(2);
         },
         "ab"},
        {"SetEventChar",
         [] {
             TPtyRig rig;
             rig.port.SetEventChar('!');
             rig.pty.Send("ok!");
             TComEvents events{evRxFlag};
             rig.port.WaitForEvent(events, 0, 5000);
             return std::string(events.Contains(evRxFlag) ? "event char seen" : "nothing");
         },
         "event char seen"},
        {"SetRTS",
         [] {
             TPtyRig rig;
             rig.port.SetRTS(false);
             const std::string off = Rts(rig);
             rig.port.SetRTS(true);
             return off + ", " + Rts(rig);
         },
         "RTS off, RTS on"},
        // With CTS flow control the transmitter waits while the far end holds CTS low.
        {"StateFlags",
         [] {
             TPtyRig rig;
             rig.port.FlowControl().SetOutCTSFlow(true);
             const bool held = rig.port.StateFlags().Contains(hfCtsHold);
             rig.far.Set(TIOCM_CTS, true);
             const bool heldOnCts = rig.port.StateFlags().Contains(hfCtsHold);
             return std::string(held ? "held" : "free") + ", " + (heldOnCts ? "held" : "free");
         },
         "held, free"},
        {"TransmitChar",
         [] {
             TPtyRig rig;
             rig.port.TransmitChar('Z');
             return rig.pty.Receive(1);
         },
         "Z"},
        {"WriteStrAsync",
         [] {
             TPtyRig rig;
             PAsync async = nullptr;
             InitAsync(async);
             rig.port.WriteStrAsync("STX,EF81", async);
             const int32_t written = rig.port.WaitForAsync(async);
             DoneAsync(async);
             return std::to_string(written) + " " + rig.pty.Receive(8);
         },
         "8 STX,EF81"},
        {"ReadStrAsync",
         [] {
             TPtyRig rig;
             rig.pty.Send("S000,0");
             rig.InputReaches(6);
             PAsync async = nullptr;
             InitAsync(async);
             std::string got;
             rig.port.ReadStrAsync(got, 6, async);
             const int32_t read = rig.port.WaitForAsync(async);
             DoneAsync(async);
             return std::to_string(read) + " " + got;
         },
         "6 S000,0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.call);
        EXPECT_EQ(row.run(), row.shown);
    }
}

// Bytes received with a parity error are replaced only while parity is checked: Replace alone
// asks for nothing, and the replacement character goes with the flag.
TEST(ComPortOnTheLine, ErrorCharacterOnlyWhenParityIsCheckedAndReplaced) {
    const struct {
        bool check, replace;
        bool errorChar;
    } rows[] = {
        {false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "check " << row.check << ", replace " << row.replace);
        TComPort port(nullptr);
        port.Parity().SetCheck(row.check);
        port.Parity().SetReplace(row.replace);
        port.Parity().SetReplaceChar('?');
        const DCB dcb = BuildDCB(port);
        EXPECT_EQ((dcb.Flags & DCB_ERROR_CHAR) != 0, row.errorChar);
        EXPECT_EQ(dcb.ErrorChar, row.errorChar ? '?' : '\0');
    }
}

} // namespace
