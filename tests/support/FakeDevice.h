#pragma once
// An in-process serial device for tests and benchmarks: published under a port name, it is
// what CreateFile opens for that name (the first Publish installs the registry as the port
// layer's device opener). The test plays the far end: it sends bytes to the port,
// takes what the port wrote, sets the modem lines, injects line errors and breaks, holds the
// port's output as flow control would, and pulls the plug.

#include "serial/platform/CommApi.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Platform {

class TCommDevice;

class TFakeLine : public std::enable_shared_from_this<TFakeLine> {
public:
    // Publishes a line under a port name until Unpublish or the last reference goes.
    static std::shared_ptr<TFakeLine> Publish(const std::string& portName);
    // The device for CreateFile: null when no line has that name; `error` is 5 when the line is
    // open already.
    static std::unique_ptr<TCommDevice> Open(const std::string& portName, DWORD& error);
    TFakeLine(const std::string& portName, int wakeFd);
    TFakeLine(const TFakeLine&) = delete; // owns its wake-up descriptor
    TFakeLine& operator=(const TFakeLine&) = delete;
    ~TFakeLine();
    void Unpublish();

    // --- The far end ------------------------------------------------------------------------
    void Send(const std::string& bytes); // the port receives these
    std::string TakeSent();              // what the port wrote, since the last call
    // Waits up to `milliseconds` until at least `count` written bytes are there, then takes all.
    std::string WaitSent(size_t count, int milliseconds);
    void SetLines(DWORD modemStatus); // MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON
    // Both at once, so the port sees them in one wake-up.
    void SendWithLines(const std::string& bytes, DWORD modemStatus);
    void InjectErrors(DWORD lineErrors); // CE_FRAME, CE_RXPARITY, CE_OVERRUN, CE_BREAK
    void HoldOutput(bool hold);          // the port's writes stall while held
    // While held, the driver takes the port's writes but sends none: they wait in its output
    // queue, as behind a slow line. Releasing sends them.
    void HoldInDriver(bool hold);
    void Unplug(); // the device is gone for good

    // --- What the port did ------------------------------------------------------------------
    bool IsOpen() const;
    DCB LastState() const;              // the last device control block applied
    static DCB FreshState();            // what a line never configured holds: 9600 8N1
    std::vector<DWORD> Escapes() const; // EscapeCommFunction codes, in order
    static constexpr DWORD RaisedDTR = 1, RaisedRTS = 2;
    DWORD RaisedLines() const; // RaisedDTR | RaisedRTS as the port left them

private:
    friend class TFakeDevice;
    void Wake();

    std::string m_name;
    int m_wakeFd;
    mutable std::mutex m_mutex;
    std::condition_variable m_sentArrived;
    bool m_open = false;
    bool m_unplugged = false;
    bool m_held = false;
    bool m_heldInDriver = false;
    std::string m_driverQueue; // written by the port, not yet sent
    std::string m_toPort;
    std::string m_fromPort;
    DWORD m_lines = 0;
    DWORD m_linesSeen = 0;
    DWORD m_errors = 0;
    DCB m_dcb;
    bool m_configured = false; // m_dcb was applied; until then the line holds FreshState()
    std::vector<DWORD> m_escapes;
    DWORD m_raised = 0;
};

} // namespace Platform
