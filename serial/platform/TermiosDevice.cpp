#include "serial/platform/TermiosDevice.h"

#include "serial/platform/ErrnoToWin.h"
#include "serial/platform/InterruptibleThread.h"
#include "serial/platform/LineSettings.h"
#include "serial/platform/OpenFailure.h"
#include "serial/platform/SavedTerminal.h"
#include "serial/platform/TrustedFolder.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {

// What drivers return for a modem-line or counter ioctl they do not have. 515 is the kernel's
// ENOIOCTLCMD, which some drivers let through to user space.
constexpr int kENOIOCTLCMD = 515;
bool Unsupported(int err) {
    return err == ENOTTY || err == EINVAL || err == kENOIOCTLCMD;
}

// The device has gone away: a USB adapter was unplugged, the terminal hung up, the
// pseudo-terminal master was closed.
bool GoneErrno(int err) {
    return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE;
}

constexpr int kWatchedLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

struct TModemCounts {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
};
struct TErrorCounts {
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
};

class TTermiosDevice final : public TCommDevice {
public:
    TTermiosDevice(int fd, int wakeFd, const TSavedTerminal& saved)
        : m_fd(fd), m_wakeFd(wakeFd), m_saved(saved) {}
    TTermiosDevice(const TTermiosDevice&) = delete; // owns the terminal's descriptor
    TTermiosDevice& operator=(const TTermiosDevice&) = delete;
    ~TTermiosDevice() override;

    // Learns what the driver offers (modem lines, counters) and starts the line watcher.
    DWORD Start();

    long Read(char* buffer, size_t size) override;
    long Write(const char* data, size_t size) override;
    DWORD Configure(const DCB& dcb) override;
    DWORD CurrentState(DCB& dcb) override;
    DWORD ModemStatus(DWORD& status) override;
    DWORD Escape(DWORD function) override;
    DWORD OutputQueued(DWORD& count) override;
    DWORD TakeLineErrors(DWORD& errors) override;
    DWORD HoldFlags(DWORD& flags) override;
    DWORD Flush(bool input, bool output) override;
    DWORD TransmitImmediate(char character) override;
    void PollSources(bool input, bool output, std::vector<pollfd>& sources) override;
    DWORD TakeLineChanges() override;
    void WatchDrain() override;

private:
    // The Windows error for a failed call; remembers that the device is gone where it is.
    DWORD Failed(int err);
    DWORD Noted(DWORD error);
    bool HungUp() const;
    DWORD SetModemLine(int line, bool on);
    bool ReadCounters(serial_icounter_struct& counters) const;

    void WatchLines();
    void WatchDrains();
    void StopWatchers();
    void Wake();

    const int m_fd;
    const int m_wakeFd;
    const TSavedTerminal m_saved; // put back when the device closes
    bool m_gone = false;
    // A read answered (bytes, or none waiting) since TakeLineChanges last looked: the device
    // had not hung up then, and the next read will tell if it has since.
    bool m_readSinceLook = false;
    std::atomic<bool> m_woken{false}; // a watcher wrote m_wakeFd
    bool m_hasModemLines = false;
    bool m_hasCounters = false;
    TLineConfig m_config;
    TErrorMarkFilter m_marks;
    int m_lines = 0; // TIOCM_* bits as last reported by TakeLineChanges
    TModemCounts m_modemCounts;
    TErrorCounts m_errorCounts;

    // Waits in TIOCMIWAIT for modem-line changes; ends at once where there are no lines.
    TInterruptibleThread m_lineWatcher;
    // Waits in tcdrain while output is queued and someone wants to know when it has gone out;
    // otherwise on m_drainAsked.
    TInterruptibleThread m_drainWatcher;
    std::mutex m_drainMutex;
    std::condition_variable m_drainAsked;
    bool m_drainWanted = false; // under m_drainMutex
};

TTermiosDevice::~TTermiosDevice() {
    StopWatchers();
    // Closing discards what was not sent or read, as it does elsewhere; without this, close()
    // waits for output held by flow control, up to the driver's closing_wait of 30 s.
    ::ioctl(m_fd, TCFLSH, TCIOFLUSH);
    // The terminal as it was found, exclusive use released; a second handle of this process
    // that failed to open must not have done this, which is why only the owner does it, here.
    m_saved.Restore(m_fd);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    ::close(m_wakeFd);
}

DWORD TTermiosDevice::Start() {
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) == 0) {
        m_hasModemLines = true;
        m_lines = lines;
    }
    serial_icounter_struct counters{};
    if (ReadCounters(counters)) {
        m_hasCounters = true;
        m_modemCounts = {counters.cts, counters.dsr, counters.rng, counters.dcd};
        m_errorCounts = {counters.frame, counters.parity, counters.overrun, counters.brk,
                         counters.buf_overrun};
    }

    if (DWORD error = m_lineWatcher.Start("tty-lines", [this] { WatchLines(); });
        error != ERROR_SUCCESS) {
        return error;
    }
    return m_drainWatcher.Start("tty-drain", [this] { WatchDrains(); });
}

void TTermiosDevice::WatchLines() {
    while (!m_lineWatcher.Stopping()) {
        if (::ioctl(m_fd, TIOCMIWAIT, kWatchedLines) == 0) {
            Wake();
            continue;
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        if (GoneErrno(err)) {
            Wake(); // hung up: let a waiter come and find out
        }
        // No modem lines to wait on (ENOTTY, EINVAL, ENOIOCTLCMD on pseudo-terminals), or the
        // device is gone: nothing more to watch.
        break;
    }
}

// No descriptor becomes readable when output has drained, so this thread sits in tcdrain for
// as long as the driver takes, flow control included, and wakes waiters when it returns; they
// then ask the driver (OutputQueued). Asked again while it drains, it drains once more.
void TTermiosDevice::WatchDrains() {
    std::unique_lock<std::mutex> lock(m_drainMutex);
    for (;;) {
        m_drainAsked.wait(lock, [this] { return m_drainWanted || m_drainWatcher.Stopping(); });
        if (m_drainWatcher.Stopping()) {
            return;
        }
        m_drainWanted = false;
        lock.unlock();
        const bool interrupted = ::ioctl(m_fd, TCSBRK, 1) != 0 && errno == EINTR;
        lock.lock();
        if (interrupted) {
            m_drainWanted = true; // not drained yet: wait again unless stopping
            continue;
        }
        // Drained; or the call failed (the device has gone), which a waiter finds out.
        Wake();
    }
}

void TTermiosDevice::WatchDrain() {
    {
        std::lock_guard<std::mutex> lock(m_drainMutex);
        m_drainWanted = true;
    }
    m_drainAsked.notify_one();
}

void TTermiosDevice::StopWatchers() {
    m_lineWatcher.Stop();
    m_drainWatcher.Stop([this] {
        std::lock_guard<std::mutex> lock(m_drainMutex);
        m_drainAsked.notify_all();
    });
}

void TTermiosDevice::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    // After the write: a reader that sees the flag finds the descriptor readable.
    m_woken.store(true);
}

DWORD TTermiosDevice::Failed(int err) {
    if (GoneErrno(err)) {
        m_gone = true;
        return ERROR_BAD_COMMAND;
    }
    return ErrnoToWinError(err);
}

DWORD TTermiosDevice::Noted(DWORD error) {
    if (error == ERROR_BAD_COMMAND) {
        m_gone = true;
    }
    return error;
}

// A hung-up terminal reports POLLHUP for good; a pseudo-terminal whose master was closed does
// too, once its last bytes were read.
bool TTermiosDevice::HungUp() const {
    pollfd source{m_fd, POLLIN, 0};
    if (::poll(&source, 1, 0) != 1) {
        return false;
    }
    return (source.revents & (POLLHUP | POLLNVAL)) != 0;
}

bool TTermiosDevice::ReadCounters(serial_icounter_struct& counters) const {
    return ::ioctl(m_fd, TIOCGICOUNT, &counters) == 0;
}

long TTermiosDevice::Read(char* buffer, size_t size) {
    if (m_gone) {
        return -long(ERROR_BAD_COMMAND);
    }
    if (size == 0) {
        return 0;
    }
    // A mark begun in the last read may need a byte more than it read (see TErrorMarkFilter).
    const size_t room = m_config.errorMarks && m_marks.HoldsMark() && size > 1 ? size - 1 : size;
    for (;;) {
        const ssize_t count = ::read(m_fd, buffer, room);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                m_readSinceLook = true;
                return 0;
            }
            return -long(Failed(errno));
        }
        if (count == 0) {
            // Hang-up; or, should another program have set VMIN 0 behind our back, nothing.
            if (HungUp()) {
                m_gone = true;
                return -long(ERROR_BAD_COMMAND);
            }
            return 0;
        }
        m_readSinceLook = true;
        if (!m_config.errorMarks) {
            return long(count);
        }
        const size_t kept = m_marks.Filter(buffer, size_t(count), size);
        if (kept > 0) {
            return long(kept);
        }
        // All of it was the start of a mark cut off by `size`; its rest is waiting already.
    }
}

long TTermiosDevice::Write(const char* data, size_t size) {
    if (m_gone) {
        return -long(ERROR_BAD_COMMAND);
    }
    if (size == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t count = ::write(m_fd, data, size);
        if (count >= 0) {
            return long(count);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        return -long(Failed(errno));
    }
}

DWORD TTermiosDevice::SetModemLine(int line, bool on) {
    if (!m_hasModemLines) {
        return ERROR_SUCCESS; // a pseudo-terminal has none to set
    }
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || Unsupported(errno)) {
        return ERROR_SUCCESS;
    }
    return Failed(errno);
}

DWORD TTermiosDevice::Configure(const DCB& dcb) {
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    TLineConfig config;
    if (DWORD error = DcbToLineConfig(dcb, config); error != ERROR_SUCCESS) {
        return error;
    }
    if (DWORD error = ApplyLineConfig(m_fd, config); error != ERROR_SUCCESS) {
        return Noted(error);
    }
    if (config.errorMarks != m_config.errorMarks) {
        m_marks.Reset();
    }
    m_marks.SetReplacement(config.replaceErrors, config.errorChar);
    m_config = config;

    if (DWORD error = SetModemLine(TIOCM_DTR, config.raiseDTR); error != ERROR_SUCCESS) {
        return error;
    }
    if (!config.driverControlsRTS) {
        return SetModemLine(TIOCM_RTS, config.raiseRTS);
    }
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::CurrentState(DCB& dcb) {
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    TLineConfig config = m_config; // what termios does not keep: the error marks' handling
    if (DWORD error = ReadLineConfig(m_fd, config); error != ERROR_SUCCESS) {
        return Noted(error);
    }
    // The kernel raises both lines when a terminal opens; a pseudo-terminal shows none.
    config.raiseDTR = config.raiseRTS = true;
    int lines = 0;
    if (m_hasModemLines && ::ioctl(m_fd, TIOCMGET, &lines) == 0) {
        config.raiseDTR = (lines & TIOCM_DTR) != 0;
        config.raiseRTS = (lines & TIOCM_RTS) != 0;
    }
    LineConfigToDcb(config, dcb);
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::ModemStatus(DWORD& status) {
    status = 0;
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    if (!m_hasModemLines) {
        return ERROR_SUCCESS;
    }
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) != 0) {
        return Unsupported(errno) ? ERROR_SUCCESS : Failed(errno);
    }
    if (lines & TIOCM_CTS) {
        status |= MS_CTS_ON;
    }
    if (lines & TIOCM_DSR) {
        status |= MS_DSR_ON;
    }
    if (lines & TIOCM_RNG) {
        status |= MS_RING_ON;
    }
    if (lines & TIOCM_CD) {
        status |= MS_RLSD_ON;
    }
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::Escape(DWORD function) {
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    int request = 0;
    int argument = 0;
    switch (function) {
    case SETDTR: return SetModemLine(TIOCM_DTR, true);
    case CLRDTR: return SetModemLine(TIOCM_DTR, false);
    case SETRTS: return SetModemLine(TIOCM_RTS, true);
    case CLRRTS: return SetModemLine(TIOCM_RTS, false);
    case SETBREAK: request = TIOCSBRK; break;
    case CLRBREAK: request = TIOCCBRK; break;
    // Windows: "act as if XOFF (XON) was received", which is suspending (resuming) output.
    case SETXOFF:
        request = TCXONC;
        argument = TCOOFF;
        break;
    case SETXON:
        request = TCXONC;
        argument = TCOON;
        break;
    default: return ERROR_INVALID_PARAMETER;
    }
    if (::ioctl(m_fd, request, argument) != 0) {
        return Failed(errno);
    }
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::OutputQueued(DWORD& count) {
    count = 0;
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        return Failed(errno);
    }
    count = queued > 0 ? DWORD(queued) : 0;
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::TakeLineErrors(DWORD& errors) {
    errors = 0;
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    // The marks only tell that a byte was bad; the driver's counters, where it keeps them, tell
    // what kind of error it was, and also count overruns, which leave no mark.
    const DWORD markErrors = m_marks.TakeErrors();
    serial_icounter_struct counters{};
    if (!m_hasCounters || !ReadCounters(counters)) {
        errors = markErrors;
        return ERROR_SUCCESS;
    }
    const TErrorCounts now{counters.frame, counters.parity, counters.overrun, counters.brk,
                           counters.buf_overrun};
    if (now.frame != m_errorCounts.frame) {
        errors |= CE_FRAME;
    }
    if (now.parity != m_errorCounts.parity) {
        errors |= CE_RXPARITY;
    }
    if (now.overrun != m_errorCounts.overrun) {
        errors |= CE_OVERRUN;
    }
    if (now.brk != m_errorCounts.brk) {
        errors |= CE_BREAK;
    }
    if (now.bufOverrun != m_errorCounts.bufOverrun) {
        errors |= CE_RXOVER;
    }
    m_errorCounts = now;
    return ERROR_SUCCESS;
}

// Linux shows no hold state of the transmitter; what can be told is that output under CTS flow
// control waits while CTS is low. XOFF hold and XOFF sent stay unknown (0).
DWORD TTermiosDevice::HoldFlags(DWORD& flags) {
    flags = 0;
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    if (!m_config.driverControlsRTS || !m_hasModemLines) {
        return ERROR_SUCCESS;
    }
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) == 0 && (lines & TIOCM_CTS) == 0) {
        flags |= COMSTAT_CTS_HOLD;
    }
    return ERROR_SUCCESS;
}

DWORD TTermiosDevice::Flush(bool input, bool output) {
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    if (!input && !output) {
        return ERROR_SUCCESS;
    }
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if (::ioctl(m_fd, TCFLSH, which) != 0) {
        return Failed(errno);
    }
    if (input) {
        m_marks.Reset(); // the rest of a half-read mark went with the flushed bytes
    }
    return ERROR_SUCCESS;
}

// Linux sends nothing ahead of its output queue except the flow-control characters (TCIOFF and
// TCION hand them to the driver's priority path). Those go that way; any other character is
// written behind what is queued. ERROR_GEN_FAILURE when the driver can take nothing now.
DWORD TTermiosDevice::TransmitImmediate(char character) {
    if (m_gone) {
        return ERROR_BAD_COMMAND;
    }
    const uint8_t byte = uint8_t(character);
    if (byte != 0 && (byte == m_config.cc[VSTOP] || byte == m_config.cc[VSTART])) {
        const int action = byte == m_config.cc[VSTOP] ? TCIOFF : TCION;
        if (::ioctl(m_fd, TCXONC, action) != 0) {
            return Failed(errno);
        }
        return ERROR_SUCCESS;
    }
    const long written = Write(&character, 1);
    if (written < 0) {
        return DWORD(-written);
    }
    return written == 1 ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

void TTermiosDevice::PollSources(bool input, bool output, std::vector<pollfd>& sources) {
    // Added even with no events wanted: POLLHUP still comes, and wakes a waiter when the
    // device goes away. Not once it has hung up with nothing wanted (unread bytes left behind
    // a full queue): POLLHUP would then wake the waiter again and again.
    if (!m_gone && (input || output || !HungUp())) {
        sources.push_back(pollfd{m_fd, short((input ? POLLIN : 0) | (output ? POLLOUT : 0)), 0});
    }
    sources.push_back(pollfd{m_wakeFd, POLLIN, 0});
}

DWORD TTermiosDevice::TakeLineChanges() {
    if (m_woken.exchange(false)) {
        uint64_t signalled = 0;
        [[maybe_unused]] ssize_t drained = ::read(m_wakeFd, &signalled, sizeof signalled);
    }
    if (m_gone) {
        return 0;
    }
    // Hung up with nothing left to read: from now on the device is no longer polled (it would
    // report POLLHUP for good) and every call reports it gone. Reads find a hang-up by
    // themselves; this look is for when the input queue is full and nothing reads.
    const bool read = std::exchange(m_readSinceLook, false);
    if (!read && HungUp()) {
        int waiting = 0;
        if (::ioctl(m_fd, FIONREAD, &waiting) != 0 || waiting == 0) {
            m_gone = true;
            return 0;
        }
    }
    if (!m_hasModemLines) {
        return 0;
    }
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) != 0) {
        if (GoneErrno(errno)) {
            m_gone = true;
        }
        return 0;
    }
    // The counters catch a line that changed and changed back before we looked; comparing
    // levels covers drivers without counters.
    TModemCounts counted = m_modemCounts;
    serial_icounter_struct counters{};
    if (m_hasCounters && ReadCounters(counters)) {
        counted = {counters.cts, counters.dsr, counters.rng, counters.dcd};
    }
    const int changed = lines ^ m_lines;
    DWORD events = 0;
    if ((changed & TIOCM_CTS) || counted.cts != m_modemCounts.cts) {
        events |= EV_CTS;
    }
    if ((changed & TIOCM_DSR) || counted.dsr != m_modemCounts.dsr) {
        events |= EV_DSR;
    }
    if ((changed & TIOCM_CD) || counted.dcd != m_modemCounts.dcd) {
        events |= EV_RLSD;
    }
    if ((lines & ~m_lines & TIOCM_RNG) || counted.rng != m_modemCounts.rng) {
        events |= EV_RING;
    }
    m_lines = lines;
    m_modemCounts = counted;
    return events;
}

} // namespace

std::unique_ptr<TCommDevice> OpenTermiosDevice(const std::string& path, DWORD& error) {
    ClearOpenFailure();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        RecordOpenFailure(path, "open", err);
        error = OpenErrnoToWinError(err);
        return nullptr;
    }
    if (!::isatty(fd)) {
        RecordOpenFailure(path, "isatty", errno);
        ::close(fd);
        error = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    // Whatever a link led to: another user's pseudo-terminal is not a port of ours.
    if (!IsTrustedDevice(fd)) {
        RecordOpenFailure(path, "owner", EACCES);
        ::close(fd);
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    // flock first: root passes TIOCEXCL, but not a lock held through another open file
    // description, even one of this same process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        RecordOpenFailure(path, "flock", err, fd);
        error = OpenErrnoToWinError(err);
        ::close(fd);
        return nullptr;
    }
    // Ours from here: what is changed from now on is put back when the device closes, or
    // when the open fails on the way.
    TSavedTerminal saved;
    saved.Save(fd);
    // Keeps out programs that do not lock (modem managers probing new ports). Best effort: the
    // lock above is what guarantees exclusive use among ports opened here.
    ::ioctl(fd, TIOCEXCL);
    const auto fail = [&](DWORD code) -> std::unique_ptr<TCommDevice> {
        saved.Restore(fd);
        ::flock(fd, LOCK_UN);
        ::close(fd);
        error = code;
        return nullptr;
    };

    if (DWORD code = PrepareOpenedTerminal(fd); code != ERROR_SUCCESS) {
        return fail(code);
    }

    // USB adapters hold received bytes for up to 16 ms before passing them on unless
    // low-latency mode is set, which at modest rates turns every reply into a wait. Drivers
    // without serial settings (pseudo-terminals) refuse TIOCGSERIAL, and the mode is a wish,
    // not a need, so any failure is passed over.
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }

    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        return fail(ErrnoToWinError(errno));
    }
    std::unique_ptr<TTermiosDevice> device;
    try {
        device = std::make_unique<TTermiosDevice>(fd, wakeFd, saved);
    } catch (const std::bad_alloc&) {
        ::close(wakeFd);
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    // From here the device owns both descriptors and releases them when destroyed.
    if (DWORD code = device->Start(); code != ERROR_SUCCESS) {
        error = code;
        return nullptr;
    }
    error = ERROR_SUCCESS;
    return device;
}

} // namespace Platform
