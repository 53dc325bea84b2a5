#include "serial/platform/LineSettings.h"

#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

// The kernel's termios2, to read back what the terminal really took.
#include <asm/termbits.h>
#include <string>
#include <sys/ioctl.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace Platform;

constexpr DWORD kDtrOn = DTR_CONTROL_ENABLE << DCB_DTR_CONTROL_SHIFT;
constexpr DWORD kRtsOn = RTS_CONTROL_ENABLE << DCB_RTS_CONTROL_SHIFT;
constexpr DWORD kDtrHandshake = DTR_CONTROL_HANDSHAKE << DCB_DTR_CONTROL_SHIFT;
constexpr DWORD kRtsHandshake = RTS_CONTROL_HANDSHAKE << DCB_RTS_CONTROL_SHIFT;
constexpr DWORD kRtsToggle = RTS_CONTROL_TOGGLE << DCB_RTS_CONTROL_SHIFT;
constexpr DWORD kDtrBad = 3 << DCB_DTR_CONTROL_SHIFT;

DCB Dcb(DWORD rate, uint8_t size, uint8_t parity, uint8_t stop, DWORD flags = 0, char xoff = 0x13) {
    DCB dcb;
    dcb.BaudRate = rate;
    dcb.ByteSize = size;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    dcb.Flags = DCB_BINARY | flags;
    dcb.XonChar = 0x11;
    dcb.XoffChar = xoff;
    dcb.ErrorChar = '?';
    return dcb;
}

// The part of c_cflag a row decides; CREAD, CLOCAL and HUPCL go with every row.
constexpr uint32_t kFrameBits = CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr uint32_t kAlways = CREAD | CLOCAL | HUPCL;
constexpr DWORD k87 = ERROR_INVALID_PARAMETER;

struct TDcbCase {
    const char* name;
    DCB dcb;
    DWORD error = 0;
    uint32_t frame = 0;
    uint32_t iflag = 0;
    bool dtr = false;
    bool rts = false;
};

TEST(DcbToLineConfig, TurnsEachBlockIntoTerminalSettings) {
    const TDcbCase cases[] = {
        {"9600 8N1", Dcb(9600, 8, NOPARITY, ONESTOPBIT), 0, B9600 | CS8},
        {"115200", Dcb(115200, 8, NOPARITY, ONESTOPBIT), 0, B115200 | CS8},
        {"14400", Dcb(14400, 8, NOPARITY, ONESTOPBIT), 0, BOTHER | CS8},
        {"256000", Dcb(256000, 8, NOPARITY, ONESTOPBIT), 0, BOTHER | CS8},
        {"custom 31250", Dcb(31250, 8, NOPARITY, ONESTOPBIT), 0, BOTHER | CS8},
        {"7E1", Dcb(9600, 7, EVENPARITY, ONESTOPBIT), 0, B9600 | CS7 | PARENB},
        {"7O1", Dcb(9600, 7, ODDPARITY, ONESTOPBIT), 0, B9600 | CS7 | PARENB | PARODD},
        {"8M1", Dcb(9600, 8, MARKPARITY, ONESTOPBIT), 0, B9600 | CS8 | PARENB | CMSPAR | PARODD},
        {"8S1", Dcb(9600, 8, SPACEPARITY, ONESTOPBIT), 0, B9600 | CS8 | PARENB | CMSPAR},
        {"6N2", Dcb(9600, 6, NOPARITY, TWOSTOPBITS), 0, B9600 | CS6 | CSTOPB},
        {"5N1.5", Dcb(9600, 5, NOPARITY, ONE5STOPBITS), 0, B9600 | CS5 | CSTOPB},
        {"5N2", Dcb(9600, 5, NOPARITY, TWOSTOPBITS), k87},
        {"8N1.5", Dcb(9600, 8, NOPARITY, ONE5STOPBITS), k87},
        {"stop code 3", Dcb(9600, 8, NOPARITY, 3), k87},
        {"4 data bits", Dcb(9600, 4, NOPARITY, ONESTOPBIT), k87},
        {"9 data bits", Dcb(9600, 9, NOPARITY, ONESTOPBIT), k87},
        {"parity code 5", Dcb(9600, 8, 5, ONESTOPBIT), k87},
        {"rate 0", Dcb(0, 8, NOPARITY, ONESTOPBIT), k87},
        {"DTR control 3", Dcb(9600, 8, NOPARITY, ONESTOPBIT, kDtrBad), k87},
        {"XON = XOFF", Dcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_INX, 0x11), k87},
        {"XON = XOFF, unused", Dcb(9600, 8, NOPARITY, ONESTOPBIT, 0, 0x11), 0, B9600 | CS8},
        {"lines up", Dcb(9600, 8, NOPARITY, ONESTOPBIT, kDtrOn | kRtsOn), 0, B9600 | CS8, 0, true,
         true},
        {"DTR handshake", Dcb(9600, 8, NOPARITY, ONESTOPBIT, kDtrHandshake), 0, B9600 | CS8, 0,
         true, false},
        // The receiver's port: RTS handshake without CTS flow must not wait for CTS.
        {"RTS handshake alone", Dcb(9600, 8, NOPARITY, ONESTOPBIT, kRtsHandshake), 0, B9600 | CS8,
         0, false, true},
        {"RTS toggle", Dcb(9600, 8, NOPARITY, ONESTOPBIT, kRtsToggle), 0, B9600 | CS8, 0, false,
         true},
        {"CTS flow", Dcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_OUTX_CTS_FLOW), 0,
         B9600 | CS8 | CRTSCTS},
        {"XON/XOFF", Dcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_OUTX | DCB_INX), 0, B9600 | CS8,
         IXON | IXOFF},
        {"parity check", Dcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_PARITY), 0, B9600 | CS8 | PARENB,
         INPCK | PARMRK},
        {"parity check, error char",
         Dcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_PARITY | DCB_ERROR_CHAR), 0, B9600 | CS8 | PARENB,
         INPCK | PARMRK},
        {"error char, no check", Dcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_ERROR_CHAR), 0,
         B9600 | CS8 | PARENB},
        {"no Linux form",
         Dcb(9600, 8, NOPARITY, ONESTOPBIT,
             DCB_OUTX_DSR_FLOW | DCB_DSR_SENSITIVITY | DCB_TX_CONTINUE_ON_XOFF),
         0, B9600 | CS8},
    };
    for (const TDcbCase& c : cases) {
        SCOPED_TRACE(c.name);
        TLineConfig config;
        ASSERT_EQ(DcbToLineConfig(c.dcb, config), c.error);
        if (c.error != ERROR_SUCCESS) {
            continue;
        }
        EXPECT_EQ(config.cflag & ~kFrameBits, kAlways);
        EXPECT_EQ(config.cflag & kFrameBits, c.frame);
        EXPECT_EQ(config.iflag, c.iflag);
        EXPECT_EQ(config.oflag | config.lflag, 0u);
        EXPECT_EQ(config.ispeed, c.dcb.BaudRate);
        EXPECT_EQ(config.ospeed, c.dcb.BaudRate);
        EXPECT_EQ(config.raiseDTR, c.dtr);
        EXPECT_EQ(config.raiseRTS, c.rts);
        EXPECT_EQ(config.driverControlsRTS, (c.frame & CRTSCTS) != 0);
        EXPECT_EQ(config.errorMarks, (c.iflag & PARMRK) != 0);
        EXPECT_EQ(config.replaceErrors, config.errorMarks && (c.dcb.Flags & DCB_ERROR_CHAR));

        // Read back as a block, the frame and flow control are the ones asked for.
        DCB back;
        LineConfigToDcb(config, back);
        constexpr DWORD kFlow = DCB_PARITY | DCB_OUTX | DCB_INX | DCB_OUTX_CTS_FLOW;
        EXPECT_EQ(back.Flags & kFlow, c.dcb.Flags & kFlow);
        EXPECT_EQ(std::tuple(back.BaudRate, back.ByteSize, back.Parity, back.StopBits),
                  std::tuple(c.dcb.BaudRate, c.dcb.ByteSize, c.dcb.Parity, c.dcb.StopBits));
        EXPECT_EQ(std::pair(back.XonChar, back.XoffChar), std::pair(c.dcb.XonChar, c.dcb.XoffChar));
    }
}

struct TMarkCase {
    const char* name;
    std::vector<std::string> reads; // as the kernel hands them over, one read each
    bool replace;
    std::string expected;
    DWORD errors;
};

TEST(ErrorMarkFilter, TakesMarksOutEvenWhenSplitBetweenReads) {
    using namespace std::string_literals;
    const TMarkCase cases[] = {
        {"escaped 0xFF",
         {"a\xff\xff"
          "b"s},
         false,
         "a\xff"
         "b"s,
         0},
        {"bad byte kept",
         {"a\xff\x00"
          "Bc"s},
         false,
         "aBc",
         CE_RXPARITY},
        {"bad byte replaced",
         {"a\xff\x00"
          "Bc"s},
         true,
         "a?c",
         CE_RXPARITY},
        {"break", {"\xff\x00\x00"s}, false, "\x00"s, CE_BREAK},
        {"escape split",
         {"ab\xff"s, "\xff"
                     "cd"s},
         false,
         "ab\xff"
         "cd"s,
         0},
        {"mark in three reads", {"x\xff"s, "\x00"s, "B"s}, true, "x?", CE_RXPARITY},
        {"0xFF from before PARMRK",
         {"\xff"
          "A"s},
         false,
         "\xff"
         "A"s,
         0},
        {"same, split across reads",
         {"\xff"s, "AB"s},
         false,
         "\xff"
         "AB"s,
         0},
    };
    for (const TMarkCase& c : cases) {
        SCOPED_TRACE(c.name);
        TErrorMarkFilter filter;
        filter.SetReplacement(c.replace, '?');
        std::string got;
        for (std::string chunk : c.reads) {
            // As the device reads: a byte of room to spare while a mark is pending.
            const size_t size = chunk.size();
            chunk.resize(size + (filter.HoldsMark() ? 1 : 0));
            const size_t kept = filter.Filter(chunk.data(), size, chunk.size());
            ASSERT_LE(kept, chunk.size());
            got.append(chunk.data(), kept);
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(filter.TakeErrors(), c.errors);
        EXPECT_EQ(filter.TakeErrors(), 0u) << "errors are reported once";
    }
}

// A pseudo-terminal holds only 8 data bits without parity, so other frames are left to the table
// above; rates, stop bits, flow control and raw mode are checked here.
TEST(ApplyLineConfig, TerminalTakesRatesAndFlagsAsConfigured) {
    const struct {
        DCB dcb;
        uint32_t cflag;
        uint32_t iflag;
    } cases[] = {
        {Dcb(19200, 8, NOPARITY, ONESTOPBIT), B19200, 0},
        {Dcb(250000, 8, NOPARITY, ONESTOPBIT), BOTHER, 0},
        {Dcb(14400, 8, NOPARITY, ONESTOPBIT), BOTHER, 0},
        {Dcb(57600, 8, NOPARITY, TWOSTOPBITS, DCB_OUTX_CTS_FLOW | DCB_OUTX | DCB_INX | DCB_PARITY),
         B57600 | CSTOPB | CRTSCTS, IXON | IXOFF | INPCK | PARMRK},
    };
    TPtyPair pty;
    const int fd = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << pty.Path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dcb.BaudRate);
        TLineConfig config;
        ASSERT_EQ(DcbToLineConfig(c.dcb, config), ERROR_SUCCESS);
        ASSERT_EQ(ApplyLineConfig(fd, config), ERROR_SUCCESS);
        termios2 tio{};
        ASSERT_EQ(::ioctl(fd, TCGETS2, &tio), 0);
        EXPECT_EQ(tio.c_cflag & (CBAUD | CSTOPB | CRTSCTS | kAlways), c.cflag | kAlways);
        EXPECT_EQ(tio.c_iflag, c.iflag);
        EXPECT_EQ(tio.c_oflag | tio.c_lflag, 0u);
        EXPECT_EQ(tio.c_ispeed, c.dcb.BaudRate);
        EXPECT_EQ(tio.c_ospeed, c.dcb.BaudRate);
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        EXPECT_EQ(tio.c_cc[VSTART], 0x11);
        EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
        TLineConfig readBack;
        ASSERT_EQ(ReadLineConfig(fd, readBack), ERROR_SUCCESS);
        EXPECT_EQ(readBack.ospeed, c.dcb.BaudRate);
    }
    ::close(fd);
}

} // namespace
