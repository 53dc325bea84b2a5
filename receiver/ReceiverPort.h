#pragma once
// The receiver's serial port as the dialogue uses it. A window implements it over its port
// component. Open, Close, Read and Write raise the port's errors. UI thread only.

#include <cstdint>
#include <string>

class TReceiverPort {
public:
    virtual ~TReceiverPort() = default;

    virtual bool PortConnected() const = 0;
    virtual std::string PortName() const = 0;
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    virtual int32_t ReadPort(char* buffer, int32_t count) = 0;
    virtual void WritePort(const char* bytes, int32_t count) = 0;
    // Takes the port chosen in the port list; the port is closed.
    virtual void ApplyPortChoice() = 0;
};
