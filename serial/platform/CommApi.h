#pragma once
// The operating system's serial communications interface, as the port component uses it:
// device handles, the device control block, time-outs, overlapped transfers with completion
// events, event masks and waits, queue and line status, escape functions and purging.
//
// The calls keep the names, arguments and error numbers of the Windows interface, so that the
// component reads the same on every system. On Windows each call is the system's own
// (CommApiWin.cpp). The rest of this note is the Linux form: devices are terminals
// opened through termios (or devices a test installs, CommDevice.h), events are eventfds, and
// waits are poll() calls — there is no periodic polling anywhere and no thread of the layer's
// own, except a terminal's helpers that wait in the driver for modem-line changes and for
// written bytes to have gone out (TermiosDevice.h).
//
// Overlapped operations complete at once or report ERROR_IO_PENDING; a pending one is carried
// on by whichever thread next waits on its event (or asks for its result), because every wait
// also watches the devices whose operations it waits for. Each completion signals the
// record's event.
//
// Threads: every call may be made from any thread. One device handle may be used by two
// threads at once: a read or write on one while an event wait is pending on the other.

#include "serial/OpenFailureReason.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace Platform {

using DWORD = uint32_t;
using HANDLE = intptr_t;

constexpr HANDLE INVALID_HANDLE_VALUE = -1;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// Error numbers (GetLastError).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2; // no such device
constexpr DWORD ERROR_ACCESS_DENIED = 5;  // no permission, or the port is in use
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_COMMAND = 22; // the device is gone (unplugged, hung up)
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;
constexpr DWORD ERROR_IO_PENDING = 997;

// WaitForSingleObject / WaitForMultipleObjects results.
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Communication event mask bits (SetCommMask, WaitCommEvent).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD EV_DSR = 0x0010;
constexpr DWORD EV_RLSD = 0x0020;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;
constexpr DWORD EV_RING = 0x0100;
constexpr DWORD EV_RX80FULL = 0x0400;

// Line error bits (ClearCommError).
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_IOE = 0x0400;
constexpr DWORD CE_MODE = 0x8000;

// Modem status bits (GetCommModemStatus).
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// EscapeCommFunction codes.
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// PurgeComm flags.
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// Device control block flag bits.
constexpr DWORD DCB_BINARY = 0x0001;
constexpr DWORD DCB_PARITY = 0x0002; // check parity
constexpr DWORD DCB_OUTX_CTS_FLOW = 0x0004;
constexpr DWORD DCB_OUTX_DSR_FLOW = 0x0008;
constexpr DWORD DCB_DTR_CONTROL_SHIFT = 4; // 2 bits: 0 disable, 1 enable, 2 handshake
constexpr DWORD DCB_DSR_SENSITIVITY = 0x0040;
constexpr DWORD DCB_TX_CONTINUE_ON_XOFF = 0x0080;
constexpr DWORD DCB_OUTX = 0x0100;
constexpr DWORD DCB_INX = 0x0200;
constexpr DWORD DCB_ERROR_CHAR = 0x0400;    // replace bytes with parity errors
constexpr DWORD DCB_NULL = 0x0800;          // discard received zero bytes
constexpr DWORD DCB_RTS_CONTROL_SHIFT = 12; // 2 bits: 0 disable, 1 enable, 2 handshake, 3 toggle
constexpr DWORD DCB_ABORT_ON_ERROR = 0x4000;

constexpr DWORD DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2,
                RTS_CONTROL_TOGGLE = 3;
constexpr uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// The device control block: 28 bytes, as the device takes it.
struct DCB {
    DWORD DCBlength = 0;
    DWORD BaudRate = 0;
    DWORD Flags = 0; // DCB_* bits
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(DCB) == 28);

struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// Device status (ClearCommError): Flags holds the hold flags in its low byte.
struct COMSTAT {
    DWORD Flags = 0;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};
constexpr DWORD COMSTAT_CTS_HOLD = 0x01, COMSTAT_DSR_HOLD = 0x02, COMSTAT_RLSD_HOLD = 0x04,
                COMSTAT_XOFF_HOLD = 0x08, COMSTAT_XOFF_SENT = 0x10, COMSTAT_EOF = 0x20,
                COMSTAT_TXIM = 0x40;

// The status block of one overlapped operation. Internal is the operation's error number
// (STATUS_PENDING while it runs), InternalHigh the bytes transferred. Zero-filled, it reads as
// a finished operation that moved nothing.
constexpr DWORD STATUS_PENDING = 0x103;
struct OVERLAPPED {
    std::atomic<DWORD> Internal{0};
    std::atomic<DWORD> InternalHigh{0};
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = 0; // manual-reset event signalled when the operation ends
};

// --- Devices ----------------------------------------------------------------------------------
// Opens `\\.\` + port name for exclusive overlapped use; the prefix stands for /dev/. A
// device opener a test installed is asked first (SetDeviceOpener, CommDevice.h).
// INVALID_HANDLE_VALUE on failure: 2 no such device, 5 no permission or already in use.
HANDLE CreateFile(const char* fileName);
// Why the last CreateFile on this thread failed, when the system said why.
std::optional<TOpenFailureReason> OpenFailureReason();
bool CloseHandle(HANDLE handle); // a device or an event
// The Linux form's handles not yet closed, devices and events: what a test compares to learn
// that the layer's user closed what it made. (Closed events kept for reuse do not count.)
size_t OpenHandleCount();

bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue);
bool SetCommState(HANDLE device, const DCB& dcb); // 87 for settings the device cannot take
bool GetCommState(HANDLE device, DCB& dcb);
bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts);
bool GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts);
bool SetCommMask(HANDLE device, DWORD mask); // also ends a pending WaitCommEvent (mask 0)
bool GetCommMask(HANDLE device, DWORD& mask);
bool WaitCommEvent(HANDLE device, DWORD* eventMask, OVERLAPPED* overlapped);
bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped);
bool GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred, bool wait);
bool ClearCommError(HANDLE device, DWORD* errors, COMSTAT* status);
bool GetCommModemStatus(HANDLE device, DWORD* modemStatus);
bool EscapeCommFunction(HANDLE device, DWORD function);
bool PurgeComm(HANDLE device, DWORD flags);
bool TransmitCommChar(HANDLE device, char character);

// --- Events and waits -------------------------------------------------------------------------
HANDLE CreateEvent(bool manualReset, bool initialState); // 0 on failure
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds);
// WAIT_OBJECT_0 + the lowest index of a signalled event, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* events, bool waitAll, DWORD milliseconds);

DWORD GetLastError();
DWORD GetCurrentThreadId(); // the system's id of the calling thread
void SetLastError(DWORD error);
void Sleep(DWORD milliseconds);

} // namespace Platform
