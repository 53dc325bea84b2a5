#include "serial/platform/LineSettings.h"

#include "serial/platform/ErrnoToWin.h"

// The kernel's own termios2 and its flag values; glibc's <termios.h> must not come in here.
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

namespace Platform {

static_assert(NCCS == kLineControlChars);

namespace {

struct TRateConstant {
    DWORD rate;
    uint32_t constant;
};

// The rates Linux has a constant for. Drivers that predate BOTHER still understand these, so
// they are used where they fit; every other rate goes as BOTHER with the number itself.
constexpr TRateConstant kRateConstants[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

uint32_t RateBits(DWORD rate) {
    for (const TRateConstant& row : kRateConstants) {
        if (row.rate == rate) {
            return row.constant;
        }
    }
    return BOTHER;
}

DWORD SizeBits(uint8_t byteSize, uint32_t& bits) {
    switch (byteSize) {
    case 5: bits = CS5; return ERROR_SUCCESS;
    case 6: bits = CS6; return ERROR_SUCCESS;
    case 7: bits = CS7; return ERROR_SUCCESS;
    case 8: bits = CS8; return ERROR_SUCCESS;
    default: return ERROR_INVALID_PARAMETER;
    }
}

DWORD ParityBits(uint8_t parity, uint32_t& bits) {
    switch (parity) {
    case NOPARITY: bits = 0; return ERROR_SUCCESS;
    case ODDPARITY: bits = PARENB | PARODD; return ERROR_SUCCESS;
    case EVENPARITY: bits = PARENB; return ERROR_SUCCESS;
    // CMSPAR makes the parity bit fixed: 1 with PARODD, 0 without.
    case MARKPARITY: bits = PARENB | CMSPAR | PARODD; return ERROR_SUCCESS;
    case SPACEPARITY: bits = PARENB | CMSPAR; return ERROR_SUCCESS;
    default: return ERROR_INVALID_PARAMETER;
    }
}

// Windows takes two stop bits only with 6..8 data bits and 1.5 only with 5. Linux has one
// CSTOPB bit, which UARTs turn into 1.5 stop bits when the frame has 5 data bits.
DWORD StopBits(uint8_t stopBits, uint8_t byteSize, uint32_t& bits) {
    switch (stopBits) {
    case ONESTOPBIT: bits = 0; return ERROR_SUCCESS;
    case TWOSTOPBITS: bits = CSTOPB; return byteSize == 5 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    case ONE5STOPBITS:
        bits = CSTOPB;
        return byteSize == 5 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    default: return ERROR_INVALID_PARAMETER;
    }
}

DWORD CurrentTermios(int fd, termios2& tio) {
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return ErrnoToWinError(errno);
    }
    return ERROR_SUCCESS;
}

DWORD SetTermios(int fd, const termios2& tio) {
    if (::ioctl(fd, TCSETS2, &tio) != 0) {
        return ErrnoToWinError(errno);
    }
    return ERROR_SUCCESS;
}

bool RateWithinTolerance(uint32_t wanted, uint32_t got) {
    const uint64_t difference = wanted > got ? wanted - got : got - wanted;
    return difference * 100 <= uint64_t(wanted) * 3;
}

// Data bits, parity and stop bits; which parity (odd, mark) matters only when there is one.
uint32_t Frame(uint32_t cflag) {
    const uint32_t parity = (cflag & PARENB) ? cflag & (PARENB | PARODD | CMSPAR) : 0;
    return (cflag & (CSIZE | CSTOPB)) | parity;
}

// A rate from the legacy constants, for a driver that leaves c_ospeed unset.
DWORD RateOfBits(uint32_t cflag) {
    for (const TRateConstant& row : kRateConstants) {
        if (row.constant == (cflag & CBAUD)) {
            return row.rate;
        }
    }
    return 0;
}

} // namespace

DWORD DcbToLineConfig(const DCB& dcb, TLineConfig& config) {
    config = TLineConfig{};
    if (dcb.BaudRate == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    uint32_t sizeBits = 0, parityBits = 0, stopBits = 0;
    if (DWORD error = SizeBits(dcb.ByteSize, sizeBits); error != ERROR_SUCCESS) {
        return error;
    }
    if (DWORD error = ParityBits(dcb.Parity, parityBits); error != ERROR_SUCCESS) {
        return error;
    }
    if (DWORD error = StopBits(dcb.StopBits, dcb.ByteSize, stopBits); error != ERROR_SUCCESS) {
        return error;
    }
    const DWORD dtrControl = (dcb.Flags >> DCB_DTR_CONTROL_SHIFT) & 3;
    const DWORD rtsControl = (dcb.Flags >> DCB_RTS_CONTROL_SHIFT) & 3;
    if (dtrControl == 3) {
        return ERROR_INVALID_PARAMETER;
    }
    const bool softwareFlow = (dcb.Flags & (DCB_OUTX | DCB_INX)) != 0;
    // The same character for both would make every flow character a toggle; Windows refuses
    // it as well.
    if (softwareFlow && dcb.XonChar == dcb.XoffChar) {
        return ERROR_INVALID_PARAMETER;
    }

    // Raw input: no break signal handling (a break arrives as a zero byte), no CR/LF
    // translation, no stripping of the eighth bit.
    config.iflag = 0;
    if (dcb.Flags & DCB_PARITY) {
        // INPCK alone would make the kernel hand in a zero byte for each byte received with an
        // error, which Windows never does. With PARMRK the byte comes marked, and the reader
        // hands in either the byte as received or the error character, as Windows does.
        config.iflag |= INPCK | PARMRK;
        config.errorMarks = true;
        config.replaceErrors = (dcb.Flags & DCB_ERROR_CHAR) != 0;
        config.errorChar = dcb.ErrorChar;
    }
    if (dcb.Flags & DCB_OUTX) {
        config.iflag |= IXON;
    }
    if (dcb.Flags & DCB_INX) {
        config.iflag |= IXOFF;
    }
    config.oflag = 0; // bytes go out as written
    config.lflag = 0; // no echo, no line editing, no signal characters

    // CLOCAL: a serial port on Windows neither waits for carrier nor hangs up when it drops.
    // HUPCL: Windows drops DTR and RTS when the port is closed.
    config.cflag =
        RateBits(dcb.BaudRate) | sizeBits | parityBits | stopBits | CREAD | CLOCAL | HUPCL;
    // Linux ties RTS input flow control to CTS output flow control in the one CRTSCTS bit. The
    // receiver's port uses RTS handshake without CTS output flow and must never stall waiting
    // for CTS, so only CTS output flow turns it on; RTS handshake alone just raises RTS.
    if (dcb.Flags & DCB_OUTX_CTS_FLOW) {
        config.cflag |= CRTSCTS;
        config.driverControlsRTS = true;
    }
    config.ispeed = dcb.BaudRate;
    config.ospeed = dcb.BaudRate;

    // VMIN 1 rather than 0: the device is non-blocking anyway, and with VMIN 0 an empty read
    // returns 0, which is how a hung-up terminal answers too.
    config.cc[VMIN] = 1;
    config.cc[VTIME] = 0;
    config.cc[VSTART] = uint8_t(dcb.XonChar);
    config.cc[VSTOP] = uint8_t(dcb.XoffChar);

    // DTR handshake (DTR as input flow control) has no Linux form: DTR is simply raised.
    config.raiseDTR = dtrControl != DTR_CONTROL_DISABLE;
    // RTS handshake without CTS flow and RTS toggle (RTS up while sending, for RS-485
    // converters) have no termios form: RTS is simply raised. Under CRTSCTS the driver drives
    // RTS whatever is asked for here.
    config.raiseRTS = rtsControl != RTS_CONTROL_DISABLE;

    // No Linux equivalent, so ignored here:
    //  - DCB_OUTX_DSR_FLOW: no driver holds output on DSR.
    //  - DCB_DSR_SENSITIVITY: no driver drops input while DSR is low.
    //  - DCB_TX_CONTINUE_ON_XOFF: the kernel always goes on sending after it sent XOFF.
    //  - XonLim / XoffLim: the kernel sends XOFF and XON at fixed fill levels of its buffer.
    //  - EofChar: meaningful only to Windows text-mode drivers.
    //  - DCB_BINARY: Windows itself supports binary mode only.
    // Left to the engine above the device: DCB_NULL (discarding zero bytes), EvtChar
    // (EV_RXFLAG) and DCB_ABORT_ON_ERROR.
    return ERROR_SUCCESS;
}

namespace {

// `base` with the terminal fields of `config`; the line discipline stays as in `base`.
termios2 WithConfig(const termios2& base, const TLineConfig& config) {
    termios2 tio = base;
    tio.c_iflag = config.iflag;
    tio.c_oflag = config.oflag;
    tio.c_cflag = config.cflag;
    tio.c_lflag = config.lflag;
    std::memcpy(tio.c_cc, config.cc, sizeof tio.c_cc);
    tio.c_ispeed = config.ispeed;
    tio.c_ospeed = config.ospeed;
    return tio;
}

} // namespace

DWORD ApplyLineConfig(int fd, const TLineConfig& config) {
    termios2 previous{};
    if (DWORD error = CurrentTermios(fd, previous); error != ERROR_SUCCESS) {
        return error;
    }
    if (DWORD error = SetTermios(fd, WithConfig(previous, config)); error != ERROR_SUCCESS) {
        return error;
    }

    // TCSETS2 succeeds when the driver took any part of the settings; the rate the driver
    // settled on is written back into c_ospeed.
    termios2 taken{};
    if (DWORD error = CurrentTermios(fd, taken); error != ERROR_SUCCESS) {
        return error;
    }
    if (Frame(taken.c_cflag) != Frame(config.cflag) ||
        (config.ospeed != 0 && !RateWithinTolerance(config.ospeed, taken.c_ospeed))) {
        SetTermios(fd, previous);
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

DWORD WriteLineConfig(int fd, const TLineConfig& config) {
    termios2 current{};
    if (DWORD error = CurrentTermios(fd, current); error != ERROR_SUCCESS) {
        return error;
    }
    const termios2 wanted = WithConfig(current, config);
    if (std::memcmp(&wanted, &current, sizeof wanted) == 0) {
        return ERROR_SUCCESS;
    }
    return SetTermios(fd, wanted);
}

DWORD ReadLineConfig(int fd, TLineConfig& config) {
    termios2 tio{};
    if (DWORD error = CurrentTermios(fd, tio); error != ERROR_SUCCESS) {
        return error;
    }
    config.iflag = tio.c_iflag;
    config.oflag = tio.c_oflag;
    config.cflag = tio.c_cflag;
    config.lflag = tio.c_lflag;
    std::memcpy(config.cc, tio.c_cc, sizeof config.cc);
    config.ispeed = tio.c_ispeed;
    config.ospeed = tio.c_ospeed;
    return ERROR_SUCCESS;
}

void LineConfigToDcb(const TLineConfig& config, DCB& dcb) {
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = config.ospeed != 0 ? config.ospeed : RateOfBits(config.cflag);
    dcb.Flags = DCB_BINARY;
    if (config.iflag & INPCK) {
        dcb.Flags |= DCB_PARITY;
    }
    if (config.errorMarks && config.replaceErrors) {
        dcb.Flags |= DCB_ERROR_CHAR;
        dcb.ErrorChar = config.errorChar;
    }
    if (config.iflag & IXON) {
        dcb.Flags |= DCB_OUTX;
    }
    if (config.iflag & IXOFF) {
        dcb.Flags |= DCB_INX;
    }
    DWORD rts = config.raiseRTS ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (config.cflag & CRTSCTS) {
        dcb.Flags |= DCB_OUTX_CTS_FLOW;
        rts = RTS_CONTROL_HANDSHAKE;
    }
    dcb.Flags |= rts << DCB_RTS_CONTROL_SHIFT;
    dcb.Flags |= (config.raiseDTR ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE)
                 << DCB_DTR_CONTROL_SHIFT;

    switch (config.cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
    }
    if ((config.cflag & PARENB) == 0) {
        dcb.Parity = NOPARITY;
    } else if (config.cflag & CMSPAR) {
        dcb.Parity = (config.cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (config.cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    if ((config.cflag & CSTOPB) == 0) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    dcb.XonChar = char(config.cc[VSTART]);
    dcb.XoffChar = char(config.cc[VSTOP]);
}

DWORD PrepareOpenedTerminal(int fd) {
    termios2 tio{};
    if (DWORD error = CurrentTermios(fd, tio); error != ERROR_SUCCESS) {
        return error;
    }
    if (tio.c_cc[VMIN] == 1 && tio.c_cc[VTIME] == 0 && (tio.c_iflag & PARMRK) == 0) {
        return ERROR_SUCCESS;
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_iflag &= ~PARMRK;
    return SetTermios(fd, tio);
}

void TErrorMarkFilter::SetReplacement(bool replace, char errorChar) {
    m_replace = replace;
    m_errorChar = errorChar;
}

size_t TErrorMarkFilter::Filter(char* data, size_t size, size_t capacity) {
    constexpr char kMark = char(0xFF);
    size_t kept = 0;
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        switch (m_state) {
        case TState::Plain:
            if (c == kMark) {
                m_state = TState::SawFF;
            } else {
                data[kept++] = c;
            }
            break;
        case TState::SawFF:
            if (c == kMark) {
                data[kept++] = kMark; // an escaped 0xFF
                m_state = TState::Plain;
            } else if (c == '\0') {
                m_state = TState::SawFF00;
            } else {
                // Not a mark the kernel makes: bytes received before PARMRK was switched on.
                // Both go on: where the 0xFF came in this call there is room (it was not
                // kept); a 0xFF held from the previous call needs the byte of room the caller
                // left, and the unread bytes move on by one to make it.
                if (kept < i) {
                    data[kept++] = kMark;
                } else if (size < capacity) {
                    std::memmove(data + i + 2, data + i + 1, size - i - 1);
                    data[kept++] = kMark;
                    ++i;
                    ++size;
                }
                data[kept++] = c;
                m_state = TState::Plain;
            }
            break;
        case TState::SawFF00:
            m_errors |= c == '\0' ? CE_BREAK : CE_RXPARITY;
            data[kept++] = m_replace ? m_errorChar : c;
            m_state = TState::Plain;
            break;
        }
    }
    return kept;
}

DWORD TErrorMarkFilter::TakeErrors() {
    const DWORD errors = m_errors;
    m_errors = 0;
    return errors;
}

} // namespace Platform
