#pragma once
// The one place where a device control block becomes the Linux terminal configuration of a
// serial device, and where the marks that configuration makes the kernel put into received
// bytes are taken out again.
//
// The terminal is set through termios2 (TCGETS2/TCSETS2 with BOTHER), so that every rate works,
// the Windows ones Linux has no constant for (14400, 56000, 128000, 256000) and any custom one.
// The kernel's termios2 header clashes with glibc's <termios.h>, so it stays inside
// LineSettings.cpp and this header carries the same fields in a plain struct.

#include "serial/platform/CommApi.h"

#include <cstddef>
#include <cstdint>

namespace Platform {

constexpr size_t kLineControlChars = 19; // NCCS of the kernel's termios2

struct TLineConfig {
    // The fields of the kernel's termios2, less the line discipline, which stays as it is.
    uint32_t iflag = 0;
    uint32_t oflag = 0;
    uint32_t cflag = 0;
    uint32_t lflag = 0;
    uint8_t cc[kLineControlChars] = {};
    uint32_t ispeed = 0;
    uint32_t ospeed = 0;

    // Modem lines: set by the device (TIOCMBIS/TIOCMBIC) after the terminal settings. Not
    // filled by ReadLineConfig.
    bool raiseDTR = false;
    bool raiseRTS = false;
    bool driverControlsRTS = false; // CRTSCTS is on: the driver drives RTS itself

    // Parity checking is on: the kernel marks bytes received with an error (PARMRK) and the
    // reader takes the marks out (TErrorMarkFilter), putting errorChar in place of each marked
    // byte when replaceErrors is set, the byte as received otherwise.
    bool errorMarks = false;
    bool replaceErrors = false;
    char errorChar = 0;
};

// Fills `config` from `dcb` (no device involved). ERROR_INVALID_PARAMETER for a block no
// device can take: rate 0, data bits outside 5..8, an unknown parity or stop-bit code, two stop
// bits with 5 data bits, 1.5 stop bits with more than 5, DTR control 3, or software flow
// control with the same XON and XOFF character.
DWORD DcbToLineConfig(const DCB& dcb, TLineConfig& config);

// Sets the terminal fields of `config` on the device at once. ERROR_INVALID_PARAMETER, with
// the previous settings put back, when the driver does not hold the frame asked for (data
// bits, parity, stop bits: a pseudo-terminal always carries 8 data bits without parity) or
// settles on a rate more than 3% off the one asked for (a UART cannot receive past that, and
// some drivers fall back to 9600 silently).
DWORD ApplyLineConfig(int fd, const TLineConfig& config);

// Reads the terminal fields of the device into `config`; the other fields are left alone.
DWORD ReadLineConfig(int fd, TLineConfig& config);

// Sets the terminal fields of `config` as they are, without the checks of ApplyLineConfig: for
// putting back settings read earlier with ReadLineConfig.
DWORD WriteLineConfig(int fd, const TLineConfig& config);

// The device control block that gives `config` (its terminal fields and modem lines), as far as
// a block can tell: a frame, rate and flow control that termios has no form for cannot come
// back, and XON/XOFF limits, the end-of-file and event characters stay 0.
void LineConfigToDcb(const TLineConfig& config, DCB& dcb);

// Readies a freshly opened terminal for the device, leaving its other settings as they are
// until the first Configure (as Windows keeps a port's last settings on open):
//  - VMIN 1, VTIME 0: an empty non-blocking read then fails with EAGAIN. With VMIN 0 the
//    kernel answers it with 0, which is also its answer on a hung-up terminal, so a device left
//    in raw mode by another program would look gone.
//  - PARMRK off: nobody takes marks out of received bytes before Configure asks for them.
DWORD PrepareOpenedTerminal(int fd);

// Undoes PARMRK marking of received bytes: the kernel sends a byte received with a parity or
// framing error as 0xFF 0x00 byte, a break as 0xFF 0x00 0x00, and a real 0xFF as 0xFF 0xFF.
// A mark split between two reads is finished by the next call.
class TErrorMarkFilter {
public:
    // Forgets a half-seen mark (the bytes it was in were discarded, or marking was switched).
    void Reset() { m_state = TState::Plain; }
    // What a marked byte becomes: errorChar when `replace`, else the byte as received.
    void SetReplacement(bool replace, char errorChar);

    // Takes the marks out of `size` received bytes, in place; returns how many bytes are left.
    // A 0xFF held from the previous call that turns out not to start a mark goes on before
    // the next byte, which needs one byte of room: give `capacity` > size when HoldsMark().
    size_t Filter(char* data, size_t size, size_t capacity);
    size_t Filter(char* data, size_t size) { return Filter(data, size, size); }
    // A mark began in the last call and is not finished.
    bool HoldsMark() const { return m_state != TState::Plain; }

    // CE_RXPARITY for marked bytes, CE_BREAK for marked zero bytes (a break, or the rare
    // parity error on a zero byte: the mark cannot tell them apart), since the last call.
    DWORD TakeErrors();

private:
    enum class TState : uint8_t { Plain, SawFF, SawFF00 };
    TState m_state = TState::Plain;
    bool m_replace = false;
    char m_errorChar = 0;
    DWORD m_errors = 0;
};

} // namespace Platform
