#include "tests/support/FakeDevice.h"

#include "serial/platform/CommDevice.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {

std::mutex RegistryMutex;
std::map<std::string, std::weak_ptr<TFakeLine>>& Registry() {
    static std::map<std::string, std::weak_ptr<TFakeLine>> lines;
    return lines;
}

constexpr DWORD AllLines = MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON;

} // namespace

// The port's side of a fake line.
class TFakeDevice final : public TCommDevice {
public:
    explicit TFakeDevice(std::shared_ptr<TFakeLine> line) : m_line(std::move(line)) {}
    TFakeDevice(const TFakeDevice&) = delete; // the line has one open device
    TFakeDevice& operator=(const TFakeDevice&) = delete;
    ~TFakeDevice() override {
        std::lock_guard lock(m_line->m_mutex);
        m_line->m_open = false;
    }

    long Read(char* buffer, size_t size) override {
        std::lock_guard lock(m_line->m_mutex);
        if (m_line->m_unplugged)
            return -long(ERROR_BAD_COMMAND);
        const size_t count = std::min(size, m_line->m_toPort.size());
        std::copy_n(m_line->m_toPort.begin(), count, buffer);
        m_line->m_toPort.erase(0, count);
        return long(count);
    }
    long Write(const char* data, size_t size) override {
        std::lock_guard lock(m_line->m_mutex);
        if (m_line->m_unplugged)
            return -long(ERROR_BAD_COMMAND);
        if (m_line->m_held)
            return 0;
        if (m_line->m_heldInDriver) {
            m_line->m_driverQueue.append(data, size);
            return long(size);
        }
        m_line->m_fromPort.append(data, size);
        m_line->m_sentArrived.notify_all();
        return long(size);
    }
    DWORD Configure(const DCB& dcb) override {
        if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5)
            return ERROR_INVALID_PARAMETER;
        if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY || dcb.BaudRate == 0)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_line->m_mutex);
        if (m_line->m_unplugged)
            return ERROR_BAD_COMMAND;
        m_line->m_dcb = dcb;
        m_line->m_configured = true;
        const DWORD dtr = (dcb.Flags >> DCB_DTR_CONTROL_SHIFT) & 3;
        const DWORD rts = (dcb.Flags >> DCB_RTS_CONTROL_SHIFT) & 3;
        m_line->m_raised = (dtr != DTR_CONTROL_DISABLE ? TFakeLine::RaisedDTR : 0) |
                           (rts != RTS_CONTROL_DISABLE ? TFakeLine::RaisedRTS : 0);
        return ERROR_SUCCESS;
    }
    DWORD CurrentState(DCB& dcb) override {
        std::lock_guard lock(m_line->m_mutex);
        dcb = m_line->m_configured ? m_line->m_dcb : TFakeLine::FreshState();
        return m_line->m_unplugged ? ERROR_BAD_COMMAND : ERROR_SUCCESS;
    }
    DWORD ModemStatus(DWORD& status) override {
        std::lock_guard lock(m_line->m_mutex);
        status = m_line->m_lines;
        return m_line->m_unplugged ? ERROR_BAD_COMMAND : ERROR_SUCCESS;
    }
    DWORD Escape(DWORD function) override {
        std::lock_guard lock(m_line->m_mutex);
        if (m_line->m_unplugged)
            return ERROR_BAD_COMMAND;
        switch (function) {
        case SETDTR: m_line->m_raised |= TFakeLine::RaisedDTR; break;
        case CLRDTR: m_line->m_raised &= ~TFakeLine::RaisedDTR; break;
        case SETRTS: m_line->m_raised |= TFakeLine::RaisedRTS; break;
        case CLRRTS: m_line->m_raised &= ~TFakeLine::RaisedRTS; break;
        case SETXON:
        case SETXOFF:
        case SETBREAK:
        case CLRBREAK: break;
        default: return ERROR_INVALID_PARAMETER;
        }
        m_line->m_escapes.push_back(function);
        return ERROR_SUCCESS;
    }
    DWORD OutputQueued(DWORD& count) override {
        std::lock_guard lock(m_line->m_mutex);
        count = DWORD(m_line->m_driverQueue.size());
        return ERROR_SUCCESS;
    }
    DWORD TakeLineErrors(DWORD& errors) override {
        std::lock_guard lock(m_line->m_mutex);
        errors = m_line->m_errors;
        m_line->m_errors = 0;
        return ERROR_SUCCESS;
    }
    DWORD HoldFlags(DWORD& flags) override {
        std::lock_guard lock(m_line->m_mutex);
        flags = m_line->m_held ? COMSTAT_CTS_HOLD : 0;
        return ERROR_SUCCESS;
    }
    DWORD Flush(bool input, bool output) override {
        std::lock_guard lock(m_line->m_mutex);
        if (input)
            m_line->m_toPort.clear();
        if (output)
            m_line->m_driverQueue.clear();
        return ERROR_SUCCESS;
    }
    DWORD TransmitImmediate(char character) override {
        return Write(&character, 1) == 1 ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
    }
    void PollSources(bool, bool, std::vector<pollfd>& sources) override {
        sources.push_back({m_line->m_wakeFd, POLLIN, 0});
    }
    void WatchDrain() override {
        bool drained = false;
        {
            std::lock_guard lock(m_line->m_mutex);
            drained = m_line->m_driverQueue.empty();
        }
        if (drained)
            m_line->Wake(); // otherwise releasing the queue wakes
    }
    DWORD TakeLineChanges() override {
        uint64_t count;
        [[maybe_unused]] ssize_t done = read(m_line->m_wakeFd, &count, sizeof count);
        std::lock_guard lock(m_line->m_mutex);
        const DWORD changed = (m_line->m_lines ^ m_line->m_linesSeen) & AllLines;
        DWORD events = 0;
        if (changed & MS_CTS_ON)
            events |= EV_CTS;
        if (changed & MS_DSR_ON)
            events |= EV_DSR;
        if (changed & MS_RLSD_ON)
            events |= EV_RLSD;
        if ((changed & MS_RING_ON) && (m_line->m_lines & MS_RING_ON))
            events |= EV_RING;
        m_line->m_linesSeen = m_line->m_lines;
        return events;
    }

private:
    std::shared_ptr<TFakeLine> m_line;
};

std::shared_ptr<TFakeLine> TFakeLine::Publish(const std::string& portName) {
    // The port layer asks the registry only once a line exists: a test that publishes none
    // opens the system's devices alone.
    static const bool installed = (SetDeviceOpener(&TFakeLine::Open), true);
    (void)installed;
    auto line = std::make_shared<TFakeLine>(portName, eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    std::lock_guard lock(RegistryMutex);
    Registry()[portName] = line;
    return line;
}

std::unique_ptr<TCommDevice> TFakeLine::Open(const std::string& portName, DWORD& error) {
    std::shared_ptr<TFakeLine> line;
    {
        std::lock_guard lock(RegistryMutex);
        const auto found = Registry().find(portName);
        if (found == Registry().end() || !(line = found->second.lock()))
            return nullptr;
    }
    std::lock_guard lock(line->m_mutex);
    if (line->m_open || line->m_unplugged) {
        error = line->m_open ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    line->m_open = true;
    line->m_linesSeen = line->m_lines;
    error = ERROR_SUCCESS;
    return std::make_unique<TFakeDevice>(line);
}

DCB TFakeLine::FreshState() {
    DCB dcb;
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.Flags = DCB_BINARY; // DTR and RTS down, as RaisedLines() says
    dcb.ByteSize = 8;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

TFakeLine::TFakeLine(const std::string& portName, int wakeFd)
    : m_name(portName), m_wakeFd(wakeFd) {}

TFakeLine::~TFakeLine() {
    Unpublish();
    close(m_wakeFd);
}

void TFakeLine::Unpublish() {
    std::lock_guard lock(RegistryMutex);
    const auto found = Registry().find(m_name);
    if (found != Registry().end() &&
        (found->second.expired() || found->second.lock().get() == this))
        Registry().erase(found);
}

void TFakeLine::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t done = write(m_wakeFd, &one, sizeof one);
}

void TFakeLine::Send(const std::string& bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_toPort += bytes;
    }
    Wake();
}

std::string TFakeLine::TakeSent() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_fromPort, std::string());
}

std::string TFakeLine::WaitSent(size_t count, int milliseconds) {
    std::unique_lock lock(m_mutex);
    m_sentArrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [&] { return m_fromPort.size() >= count; });
    return std::exchange(m_fromPort, std::string());
}

void TFakeLine::SetLines(DWORD modemStatus) {
    {
        std::lock_guard lock(m_mutex);
        m_lines = modemStatus & AllLines;
    }
    Wake();
}

void TFakeLine::SendWithLines(const std::string& bytes, DWORD modemStatus) {
    {
        std::lock_guard lock(m_mutex);
        m_toPort += bytes;
        m_lines = modemStatus & AllLines;
    }
    Wake();
}

void TFakeLine::InjectErrors(DWORD lineErrors) {
    {
        std::lock_guard lock(m_mutex);
        m_errors |= lineErrors;
    }
    Wake();
}

void TFakeLine::HoldOutput(bool hold) {
    {
        std::lock_guard lock(m_mutex);
        m_held = hold;
    }
    Wake();
}

void TFakeLine::HoldInDriver(bool hold) {
    {
        std::lock_guard lock(m_mutex);
        m_heldInDriver = hold;
        if (!hold) {
            m_fromPort += std::exchange(m_driverQueue, std::string());
            m_sentArrived.notify_all();
        }
    }
    Wake();
}

void TFakeLine::Unplug() {
    {
        std::lock_guard lock(m_mutex);
        m_unplugged = true;
    }
    Wake();
}

bool TFakeLine::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

DCB TFakeLine::LastState() const {
    std::lock_guard lock(m_mutex);
    return m_dcb;
}

std::vector<DWORD> TFakeLine::Escapes() const {
    std::lock_guard lock(m_mutex);
    return m_escapes;
}

DWORD TFakeLine::RaisedLines() const {
    std::lock_guard lock(m_mutex);
    return m_raised;
}

} // namespace Platform
