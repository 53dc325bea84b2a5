#pragma once
// One open serial device as a platform form provides it: non-blocking primitives only. The
// shared engine (CommEngine.h) builds the input queue, overlapped transfers, time-outs, event
// masks and waits on top of these, so each form (a termios terminal, a test's stand-in) only
// moves bytes, sets the line and reports what happened.
//
// Calls come from the engine with its lock held, one at a time, from any thread; none blocks.
// Errors are Windows error numbers (CommApi.h), 0 for success.

#include "serial/platform/CommApi.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct pollfd;

namespace Platform {

class TCommDevice {
public:
    virtual ~TCommDevice() = default;

    // Moves up to `size` received bytes into `buffer`. Returns the count (0 when nothing is
    // waiting) or minus an error number; -ERROR_BAD_COMMAND once the device has gone away
    // (unplugged adapter, hung-up terminal, closed pseudo-terminal master).
    virtual long Read(char* buffer, size_t size) = 0;
    // Hands up to `size` bytes to the driver. Returns the count taken (0 when the driver can
    // take nothing now, e.g. held by flow control) or minus an error number.
    virtual long Write(const char* data, size_t size) = 0;

    // Applies the line settings of a device control block. ERROR_INVALID_PARAMETER, with the
    // previous settings kept, for a combination the device cannot take (1.5 stop bits need 5
    // data bits) or does not hold once set.
    virtual DWORD Configure(const DCB& dcb) = 0;
    // The settings the device holds now, as a device control block.
    virtual DWORD CurrentState(DCB& dcb) = 0;
    // MS_* bits of the modem lines; 0 on a device without modem lines.
    virtual DWORD ModemStatus(DWORD& status) = 0;
    // EscapeCommFunction: SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETXON, SETXOFF.
    virtual DWORD Escape(DWORD function) = 0;
    // Bytes handed to the driver and not yet sent.
    virtual DWORD OutputQueued(DWORD& count) = 0;
    // CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK, CE_IOE bits of line errors seen since the
    // last call.
    virtual DWORD TakeLineErrors(DWORD& errors) = 0;
    // COMSTAT hold flags (CTS hold, XOFF hold, ...) as far as the device knows them.
    virtual DWORD HoldFlags(DWORD& flags) = 0;
    // Discards what the driver holds of received and of unsent bytes.
    virtual DWORD Flush(bool input, bool output) = 0;
    // Sends one character ahead of anything queued.
    virtual DWORD TransmitImmediate(char character) = 0;

    // The descriptors a waiter polls while it waits for this device: `input` when it wants to
    // know of received bytes, `output` when of room for more output. A form always adds its
    // wake-up descriptor for line changes and injected events.
    virtual void PollSources(bool input, bool output, std::vector<pollfd>& sources) = 0;
    // Called by the engine before it looks at the device after a wake-up: clears the wake-up
    // descriptor and returns the EV_CTS, EV_DSR, EV_RLSD and EV_RING changes since the last
    // call (EV_RING when the ring line comes on).
    virtual DWORD TakeLineChanges() = 0;
    // Makes the wake-up descriptor readable once every byte handed to the driver so far has
    // gone out, however long that takes (at once when nothing is queued). Nothing wakes before.
    virtual void WatchDrain() = 0;
};

// Opens a device by port name from a source other than the system's terminals. Null with
// `error` ERROR_SUCCESS: the name is not this source's, and CreateFile opens the terminal; null
// with an error: the open fails with it.
using TDeviceOpener = std::unique_ptr<TCommDevice> (*)(const std::string& portName, DWORD& error);
// The opener CreateFile asks before the system's terminals; null (the program's case) for none.
// Tests install theirs so that the program's code opens their in-process devices; the last
// installed wins. Any thread.
void SetDeviceOpener(TDeviceOpener opener);

} // namespace Platform
