#include "platform/LineSettings.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

// The kernel's termios2, to read back what the terminal really took, independently of the code
// under test.
#include <asm/termbits.h>
#include <string>
#include <sys/ioctl.h>
#include <vector>

namespace {

using namespace Platform;

constexpr DWORD Dtr(DWORD control) {
    return control << DCB_DTR_CONTROL_SHIFT;
}
constexpr DWORD Rts(DWORD control) {
    return control << DCB_RTS_CONTROL_SHIFT;
}

DCB MakeDcb(DWORD rate, uint8_t size, uint8_t parity, uint8_t stop, DWORD flags) {
    DCB dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = rate;
    dcb.ByteSize = size;
    dcb.Parity = parity;
    dcb.StopBits = stop;
    dcb.Flags = DCB_BINARY | flags;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    return dcb;
}

// The part of c_cflag a row decides; CREAD, CLOCAL and HUPCL are checked for every row.
constexpr uint32_t kFrameBits = CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

struct TDcbCase {
    const char* name;
    DCB dcb;
    DWORD error;
    uint32_t frame;
    uint32_t iflag;
    bool dtr;
    bool rts;
};

const DWORD kLines = Dtr(DTR_CONTROL_ENABLE) | Rts(RTS_CONTROL_ENABLE);

TEST(DcbToLineConfig, TurnsEachBlockIntoTerminalSettings) {
    const TDcbCase cases[] = {
        {"9600 8N1", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, kLines), 0, B9600 | CS8, 0, true,
         true},
        {"115200", MakeDcb(115200, 8, NOPARITY, ONESTOPBIT, kLines), 0, B115200 | CS8, 0, true,
         true},
        {"14400", MakeDcb(14400, 8, NOPARITY, ONESTOPBIT, kLines), 0, BOTHER | CS8, 0, true, true},
        {"56000", MakeDcb(56000, 8, NOPARITY, ONESTOPBIT, kLines), 0, BOTHER | CS8, 0, true, true},
        {"128000", MakeDcb(128000, 8, NOPARITY, ONESTOPBIT, kLines), 0, BOTHER | CS8, 0, true,
         true},
        {"256000", MakeDcb(256000, 8, NOPARITY, ONESTOPBIT, kLines), 0, BOTHER | CS8, 0, true,
         true},
        {"custom 31250", MakeDcb(31250, 8, NOPARITY, ONESTOPBIT, kLines), 0, BOTHER | CS8, 0, true,
         true},
        {"7E1", MakeDcb(9600, 7, EVENPARITY, ONESTOPBIT, kLines), 0, B9600 | CS7 | PARENB, 0, true,
         true},
        {"7O1", MakeDcb(9600, 7, ODDPARITY, ONESTOPBIT, kLines), 0,
         B9600 | CS7 | PARENB | PARODD, 0, true, true},
        {"8M1", MakeDcb(9600, 8, MARKPARITY, ONESTOPBIT, kLines), 0,
         B9600 | CS8 | PARENB | CMSPAR | PARODD, 0, true, true},
        {"8S1", MakeDcb(9600, 8, SPACEPARITY, ONESTOPBIT, kLines), 0,
         B9600 | CS8 | PARENB | CMSPAR, 0, true, true},
        {"6N2", MakeDcb(9600, 6, NOPARITY, TWOSTOPBITS, kLines), 0, B9600 | CS6 | CSTOPB, 0, true,
         true},
        {"5N1.5", MakeDcb(9600, 5, NOPARITY, ONE5STOPBITS, kLines), 0, B9600 | CS5 | CSTOPB, 0,
         true, true},
        {"5N2", MakeDcb(9600, 5, NOPARITY, TWOSTOPBITS, kLines), ERROR_INVALID_PARAMETER},
        {"8N1.5", MakeDcb(9600, 8, NOPARITY, ONE5STOPBITS, kLines), ERROR_INVALID_PARAMETER},
        {"6N1.5", MakeDcb(9600, 6, NOPARITY, ONE5STOPBITS, kLines), ERROR_INVALID_PARAMETER},
        {"stop code 3", MakeDcb(9600, 8, NOPARITY, 3, kLines), ERROR_INVALID_PARAMETER},
        {"4 data bits", MakeDcb(9600, 4, NOPARITY, ONESTOPBIT, kLines), ERROR_INVALID_PARAMETER},
        {"9 data bits", MakeDcb(9600, 9, NOPARITY, ONESTOPBIT, kLines), ERROR_INVALID_PARAMETER},
        {"parity code 5", MakeDcb(9600, 8, 5, ONESTOPBIT, kLines), ERROR_INVALID_PARAMETER},
        {"rate 0", MakeDcb(0, 8, NOPARITY, ONESTOPBIT, kLines), ERROR_INVALID_PARAMETER},
        {"DTR control 3", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, Dtr(3)),
         ERROR_INVALID_PARAMETER},
        {"lines down", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, 0), 0, B9600 | CS8, 0, false, false},
        {"DTR handshake", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, Dtr(DTR_CONTROL_HANDSHAKE)), 0,
         B9600 | CS8, 0, true, false},
        // The receiver's port: RTS handshake without CTS flow must not wait for CTS.
        {"RTS handshake alone",
         MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, Dtr(DTR_CONTROL_ENABLE) |
                                                    Rts(RTS_CONTROL_HANDSHAKE)),
         0, B9600 | CS8, 0, true, true},
        {"RTS toggle", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, Rts(RTS_CONTROL_TOGGLE)), 0,
         B9600 | CS8, 0, false, true},
        {"CTS flow", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, kLines | DCB_OUTX_CTS_FLOW), 0,
         B9600 | CS8 | CRTSCTS, 0, true, true},
        {"XON/XOFF both ways", MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_OUTX | DCB_INX), 0,
         B9600 | CS8, IXON | IXOFF, false, false},
        {"parity check", MakeDcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_PARITY), 0,
         B9600 | CS8 | PARENB, INPCK | PARMRK, false, false},
        {"error char without check", MakeDcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_ERROR_CHAR), 0,
         B9600 | CS8 | PARENB, 0, false, false},
        {"ignored: DSR flow and sensitivity",
         MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_OUTX_DSR_FLOW | DCB_DSR_SENSITIVITY |
                                                    DCB_TX_CONTINUE_ON_XOFF | DCB_NULL),
         0, B9600 | CS8, 0, false, false},
    };
    for (const TDcbCase& c : cases) {
        SCOPED_TRACE(c.name);
        TLineConfig config;
        ASSERT_EQ(DcbToLineConfig(c.dcb, config), c.error);
        if (c.error != ERROR_SUCCESS) {
            continue;
        }
        EXPECT_EQ(config.cflag & kFrameBits, c.frame);
        EXPECT_EQ(config.cflag & (CREAD | CLOCAL | HUPCL), uint32_t(CREAD | CLOCAL | HUPCL));
        EXPECT_EQ(config.iflag, c.iflag);
        EXPECT_EQ(config.oflag, 0u);
        EXPECT_EQ(config.lflag, 0u);
        EXPECT_EQ(config.ispeed, c.dcb.BaudRate);
        EXPECT_EQ(config.ospeed, c.dcb.BaudRate);
        EXPECT_EQ(config.cc[VMIN], 1);
        EXPECT_EQ(config.cc[VTIME], 0);
        EXPECT_EQ(config.cc[VSTART], 0x11);
        EXPECT_EQ(config.cc[VSTOP], 0x13);
        EXPECT_EQ(config.raiseDTR, c.dtr);
        EXPECT_EQ(config.raiseRTS, c.rts);
        EXPECT_EQ(config.driverControlsRTS, (c.frame & CRTSCTS) != 0);
        EXPECT_EQ(config.errorMarks, (c.iflag & PARMRK) != 0);
    }
}

TEST(DcbToLineConfig, RefusesEqualFlowCharactersOnlyWithSoftwareFlow) {
    DCB dcb = MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, DCB_INX);
    dcb.XoffChar = dcb.XonChar;
    TLineConfig config;
    EXPECT_EQ(DcbToLineConfig(dcb, config), ERROR_INVALID_PARAMETER);
    dcb.Flags &= ~DCB_INX;
    EXPECT_EQ(DcbToLineConfig(dcb, config), ERROR_SUCCESS);
}

TEST(DcbToLineConfig, ErrorCharacterReplacesMarkedBytesOnlyWithParityCheck) {
    TLineConfig config;
    ASSERT_EQ(DcbToLineConfig(MakeDcb(9600, 8, EVENPARITY, ONESTOPBIT,
                                      DCB_PARITY | DCB_ERROR_CHAR),
                              config),
              ERROR_SUCCESS);
    EXPECT_TRUE(config.replaceErrors);
    EXPECT_EQ(config.errorChar, '?');
    ASSERT_EQ(DcbToLineConfig(MakeDcb(9600, 8, EVENPARITY, ONESTOPBIT, DCB_PARITY), config),
              ERROR_SUCCESS);
    EXPECT_FALSE(config.replaceErrors);
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
        {"plain bytes", {"abc\x01\x7f"s}, false, "abc\x01\x7f"s, 0},
        {"escaped 0xFF", {"a\xff\xff" "b"s}, false, "a\xff" "b"s, 0},
        {"bad byte kept", {"a\xff\x00" "Bc"s}, false, "aBc", CE_RXPARITY},
        {"bad byte replaced", {"a\xff\x00" "Bc"s}, true, "a?c", CE_RXPARITY},
        {"break", {"\xff\x00\x00"s}, false, "\x00"s, CE_BREAK},
        {"break replaced", {"\xff\x00\x00"s}, true, "?", CE_BREAK},
        {"escape split", {"ab\xff"s, "\xff" "cd"s}, false, "ab\xff" "cd"s, 0},
        {"mark split after 0xFF", {"x\xff"s, "\x00" "B"s}, true, "x?", CE_RXPARITY},
        {"mark split after 0x00", {"x\xff\x00"s, "B"s}, true, "x?", CE_RXPARITY},
        {"mark in three reads", {"\xff"s, "\x00"s, "B"s}, false, "B", CE_RXPARITY},
        {"0xFF before PARMRK was on", {"\xff" "A"s}, false, "\xff" "A"s, 0},
        {"stray 0xFF, no room to hand it on", {"\xff"s, "A"s}, false, "A", 0},
    };
    for (const TMarkCase& c : cases) {
        SCOPED_TRACE(c.name);
        TErrorMarkFilter filter;
        filter.SetReplacement(c.replace, '?');
        std::string got;
        for (std::string chunk : c.reads) {
            const size_t kept = filter.Filter(chunk.data(), chunk.size());
            ASSERT_LE(kept, chunk.size());
            got.append(chunk.data(), kept);
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(filter.TakeErrors(), c.errors);
        EXPECT_EQ(filter.TakeErrors(), 0u) << "errors are reported once";
    }
}

// --- On a real terminal ---------------------------------------------------------------------

termios2 ReadBack(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        throw TestPty::SystemFailure("TCGETS2");
    }
    return tio;
}

struct TApplyCase {
    const char* name;
    DCB dcb;
    uint32_t cflag; // of the bits a pseudo-terminal keeps
    uint32_t iflag;
};

// A pseudo-terminal forces CS8 and clears PARENB whatever it is given, so data bits and parity
// are left to the table above; rate, stop bits, flow control and raw mode are checked here.
TEST(ApplyLineConfig, TerminalTakesRatesAndFlagsAsConfigured) {
    const uint32_t kKeptBits = CBAUD | CSTOPB | CRTSCTS | CREAD | CLOCAL | HUPCL;
    const uint32_t kAlways = CREAD | CLOCAL | HUPCL;
    const TApplyCase cases[] = {
        {"19200 8N1", MakeDcb(19200, 8, NOPARITY, ONESTOPBIT, kLines), B19200 | kAlways, 0},
        {"custom 250000", MakeDcb(250000, 8, NOPARITY, ONESTOPBIT, kLines), BOTHER | kAlways, 0},
        {"14400", MakeDcb(14400, 8, NOPARITY, ONESTOPBIT, kLines), BOTHER | kAlways, 0},
        {"2 stop bits, all flow control, parity check",
         MakeDcb(57600, 8, EVENPARITY, TWOSTOPBITS,
                 DCB_OUTX_CTS_FLOW | DCB_OUTX | DCB_INX | DCB_PARITY),
         B57600 | CSTOPB | CRTSCTS | kAlways, IXON | IXOFF | INPCK | PARMRK},
    };
    TestPty::TPtyPair pty;
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << pty.SlavePath();
    for (const TApplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        TLineConfig config;
        ASSERT_EQ(DcbToLineConfig(c.dcb, config), ERROR_SUCCESS);
        ASSERT_EQ(ApplyLineConfig(fd, config), ERROR_SUCCESS);
        const termios2 tio = ReadBack(fd);
        EXPECT_EQ(tio.c_cflag & kKeptBits, c.cflag);
        EXPECT_EQ(tio.c_iflag, c.iflag);
        EXPECT_EQ(tio.c_oflag, 0u);
        EXPECT_EQ(tio.c_lflag, 0u);
        EXPECT_EQ(tio.c_ispeed, c.dcb.BaudRate);
        EXPECT_EQ(tio.c_ospeed, c.dcb.BaudRate);
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        EXPECT_EQ(tio.c_cc[VSTART], 0x11);
        EXPECT_EQ(tio.c_cc[VSTOP], 0x13);

        TLineConfig readBack;
        ASSERT_EQ(ReadLineConfig(fd, readBack), ERROR_SUCCESS);
        EXPECT_EQ(readBack.cflag, tio.c_cflag);
        EXPECT_EQ(readBack.ospeed, tio.c_ospeed);
    }
    ::close(fd);
}

TEST(ApplyLineConfig, FailsOnADescriptorThatIsNoTerminal) {
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    TLineConfig config;
    ASSERT_EQ(DcbToLineConfig(MakeDcb(9600, 8, NOPARITY, ONESTOPBIT, 0), config), ERROR_SUCCESS);
    EXPECT_EQ(ApplyLineConfig(fd, config), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(ReadLineConfig(fd, config), ERROR_NOT_SUPPORTED);
    ::close(fd);
}

} // namespace
