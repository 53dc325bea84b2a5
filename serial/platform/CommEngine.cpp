#include "serial/platform/CommEngine.h"

#include "serial/platform/EventObject.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Platform {

namespace {

constexpr DWORD LineErrorBits = CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER;
constexpr size_t MinInputCapacity = 4096;

std::optional<TCommEngine::Clock::time_point> Earliest(
    std::optional<TCommEngine::Clock::time_point> a,
    std::optional<TCommEngine::Clock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

std::optional<TCommEngine::Clock::time_point> After(uint64_t milliseconds) {
    return TCommEngine::Clock::now() + std::chrono::milliseconds(milliseconds);
}

} // namespace

TCommEngine::TCommEngine(std::unique_ptr<TCommDevice> device)
    : m_device(std::move(device)), m_kick(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    // What the device holds, so that a caller can change one field of it and set it again.
    m_dcbError = m_device->CurrentState(m_dcb);
    if (m_dcbError != ERROR_SUCCESS)
        m_dcb = DCB{};
}

TCommEngine::~TCommEngine() {
    if (m_kick >= 0)
        close(m_kick);
}

void TCommEngine::Kick() {
    // Only a waiter in poll() needs waking; one that comes later reads the state afresh.
    if (m_pollers == 0 || m_kicked)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t done = write(m_kick, &one, sizeof one);
    m_kicked = true;
}

// --- Operation records --------------------------------------------------------------------

void TCommEngine::Begin(OVERLAPPED* overlapped, const Event& event) {
    overlapped->InternalHigh.store(0);
    overlapped->Internal.store(STATUS_PENDING, std::memory_order_release);
    event->Reset();
}

void TCommEngine::Pend(const Event& event) {
    event->SetPendingOn(shared_from_this());
}

void TCommEngine::Complete(OVERLAPPED* overlapped, const Event& event, DWORD error, DWORD bytes) {
    overlapped->InternalHigh.store(bytes);
    overlapped->Internal.store(error, std::memory_order_release);
    event->SetPendingOn(nullptr);
    event->Set();
}

// --- Configuration ------------------------------------------------------------------------

DWORD TCommEngine::SetupComm(DWORD inQueue, DWORD outQueue) {
    if (inQueue > DWORD(INT32_MAX) || outQueue > DWORD(INT32_MAX))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    // The size is a floor, as on other systems: never less than the terminal driver's own
    // 4 KiB, so that a flood is taken in reads of that size rather than in quarters.
    m_inputCapacity = std::max<size_t>(inQueue, MinInputCapacity);
    return ERROR_SUCCESS;
}

DWORD TCommEngine::SetCommState(const DCB& dcb) {
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    const DWORD error = m_device->Configure(dcb);
    if (error == ERROR_SUCCESS) {
        m_dcb = dcb;
        m_dcbError = ERROR_SUCCESS;
    }
    return error;
}

DWORD TCommEngine::GetCommState(DCB& dcb) {
    std::lock_guard lock(m_mutex);
    dcb = m_dcb;
    return m_gone ? ERROR_BAD_COMMAND : m_dcbError;
}

DWORD TCommEngine::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    m_timeouts = timeouts;
    return ERROR_SUCCESS;
}

DWORD TCommEngine::GetCommTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(m_mutex);
    timeouts = m_timeouts;
    return ERROR_SUCCESS;
}

DWORD TCommEngine::SetCommMask(DWORD mask) {
    std::lock_guard lock(m_mutex);
    // A new mask ends a pending wait with nothing seen; the event thread stops so.
    if (m_wait) {
        *m_wait->eventMask = 0;
        Complete(m_wait->overlapped, m_wait->event, ERROR_SUCCESS, 0);
        m_wait.reset();
    }
    m_mask = mask;
    m_history &= mask;
    WatchDrainIfDue();
    Kick();
    return ERROR_SUCCESS;
}

DWORD TCommEngine::GetCommMask(DWORD& mask) {
    std::lock_guard lock(m_mutex);
    mask = m_mask;
    return ERROR_SUCCESS;
}

// --- Overlapped operations ------------------------------------------------------------------

DWORD TCommEngine::WaitCommEvent(DWORD* eventMask, OVERLAPPED* overlapped, const Event& event) {
    std::lock_guard lock(m_mutex);
    Begin(overlapped, event);
    // An immediate failure leaves the event unsignalled: a waiter on it sleeps until stopped
    // instead of spinning on a device that fails every wait.
    DWORD error = ERROR_SUCCESS;
    if (m_gone)
        error = ERROR_BAD_COMMAND;
    else if (m_wait || m_mask == 0)
        error = ERROR_INVALID_PARAMETER;
    if (error != ERROR_SUCCESS) {
        overlapped->Internal.store(error);
        return error;
    }
    *eventMask = 0;
    m_wait = PendingWait{eventMask, overlapped, event};
    ProgressLocked();
    if (!m_wait)
        return ERROR_SUCCESS; // events had already occurred
    Pend(event);
    return ERROR_IO_PENDING;
}

DWORD TCommEngine::Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped,
                        const Event& event) {
    std::lock_guard lock(m_mutex);
    Begin(overlapped, event);
    if (m_gone) {
        overlapped->Internal.store(ERROR_BAD_COMMAND);
        return ERROR_BAD_COMMAND;
    }
    const COMMTIMEOUTS& t = m_timeouts;
    const Clock::time_point now = Clock::now();
    PendingRead pending{static_cast<char*>(buffer), count, 0, overlapped, event, {}, {}, false, 0};
    const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                        t.ReadTotalTimeoutConstant == 0;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
        // Return with what is there, or wait for the first byte up to the constant.
        pending.anyByte = true;
        pending.totalDeadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else {
        const uint64_t total =
            uint64_t(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
        if (total != 0 && !atOnce)
            pending.totalDeadline = now + std::chrono::milliseconds(total);
        if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
            pending.interval = t.ReadIntervalTimeout;
    }

    // What is queued already answers a read for no more than that: no need to ask the device.
    if (m_input.size() < count)
        PullInput();
    if (m_reads.empty()) {
        TakeQueued(pending);
        if (atOnce || ReadDone(pending, now)) {
            if (read != nullptr)
                *read = pending.got;
            Complete(overlapped, event, ERROR_SUCCESS, pending.got);
            return ERROR_SUCCESS;
        }
    }
    m_reads.push_back(pending);
    Pend(event);
    Kick();
    return ERROR_IO_PENDING;
}

DWORD TCommEngine::Write(const void* data, DWORD count, DWORD* written, OVERLAPPED* overlapped,
                         const Event& event) {
    std::lock_guard lock(m_mutex);
    Begin(overlapped, event);
    if (m_gone) {
        overlapped->Internal.store(ERROR_BAD_COMMAND);
        return ERROR_BAD_COMMAND;
    }
    PendingWrite pending{
        std::string(static_cast<const char*>(data), count), 0, overlapped, event, {}};
    const uint64_t total = uint64_t(m_timeouts.WriteTotalTimeoutMultiplier) * count +
                           m_timeouts.WriteTotalTimeoutConstant;
    if (total != 0)
        pending.deadline = After(total);

    if (m_writes.empty() && count > 0) {
        const long sent = m_device->Write(pending.data.data(), pending.data.size());
        if (sent < 0) {
            const DWORD error = DWORD(-sent);
            if (error == ERROR_BAD_COMMAND)
                NoteGone();
            overlapped->Internal.store(error);
            return error;
        }
        pending.sent = size_t(sent);
        if (sent > 0)
            NoteTransmitting();
    }
    if (pending.sent == count && m_writes.empty()) {
        if (written != nullptr)
            *written = count;
        Complete(overlapped, event, ERROR_SUCCESS, count);
        // Whether the bytes have gone out is asked by the next look, once for all the writes
        // made before it (an answer is often written in parts); a waiter is made to look.
        Kick();
        return ERROR_SUCCESS;
    }
    m_writes.push_back(std::move(pending));
    Pend(event);
    Kick();
    return ERROR_IO_PENDING;
}

// --- Status and line control ----------------------------------------------------------------

DWORD TCommEngine::ClearCommError(DWORD* errors, COMSTAT* status) {
    std::lock_guard lock(m_mutex);
    ProgressLocked();
    if (m_gone)
        return ERROR_BAD_COMMAND;
    if (errors != nullptr)
        *errors = m_errors;
    m_errors = 0;
    if (status != nullptr) {
        DWORD queued = 0;
        DWORD hold = 0;
        // Not transmitting: the driver said its queue was empty and nothing was written since.
        if (m_transmitting)
            m_device->OutputQueued(queued);
        m_device->HoldFlags(hold);
        for (const PendingWrite& write : m_writes)
            queued += DWORD(write.data.size() - write.sent);
        status->Flags = hold & 0xFF;
        status->cbInQue = DWORD(m_input.size());
        status->cbOutQue = queued;
    }
    return ERROR_SUCCESS;
}

DWORD TCommEngine::GetCommModemStatus(DWORD* status) {
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    DWORD bits = 0;
    const DWORD error = m_device->ModemStatus(bits);
    if (error == ERROR_SUCCESS && status != nullptr)
        *status = bits;
    return error;
}

DWORD TCommEngine::EscapeCommFunction(DWORD function) {
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    return m_device->Escape(function);
}

DWORD TCommEngine::PurgeComm(DWORD flags) {
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(m_mutex);
    if (flags & PURGE_TXABORT)
        EndWrites(ERROR_OPERATION_ABORTED);
    if (flags & PURGE_RXABORT)
        EndReads(ERROR_OPERATION_ABORTED);
    // A device that has gone holds nothing more: purging it succeeds, so the port can close.
    if ((flags & PURGE_TXCLEAR) && !m_gone) {
        m_device->Flush(false, true);
        m_transmitting = m_drainUnwatched = false;
    }
    if (flags & PURGE_RXCLEAR) {
        m_input.clear();
        if (!m_gone)
            m_device->Flush(true, false);
    }
    Kick();
    return ERROR_SUCCESS;
}

DWORD TCommEngine::TransmitCommChar(char character) {
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_BAD_COMMAND;
    const DWORD error = m_device->TransmitImmediate(character);
    if (error == ERROR_SUCCESS) {
        NoteTransmitting();
        WatchDrainIfDue();
    }
    return error;
}

void TCommEngine::Close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    EndTransfers(ERROR_OPERATION_ABORTED);
    if (m_wait)
        Complete(m_wait->overlapped, m_wait->event, ERROR_OPERATION_ABORTED, 0);
    m_wait.reset();
    Kick();
}

void TCommEngine::EndWrites(DWORD error) {
    for (PendingWrite& write : m_writes)
        Complete(write.overlapped, write.event, error, DWORD(write.sent));
    m_writes.clear();
}

void TCommEngine::EndReads(DWORD error) {
    for (PendingRead& read : m_reads)
        Complete(read.overlapped, read.event, error, read.got);
    m_reads.clear();
}

void TCommEngine::EndTransfers(DWORD error) {
    EndWrites(error);
    EndReads(error);
}

// --- Carrying operations on -----------------------------------------------------------------

bool TCommEngine::WatchDrainIfDue() {
    if (!DrainLookDue())
        return false;
    m_drainUnwatched = false;
    // Gone out already (a pseudo-terminal, a fast line): nobody needs to wait in the driver and
    // wake waiters for it.
    if (!NoteDrained())
        m_device->WatchDrain();
    return true;
}

bool TCommEngine::NoteDrained() {
    DWORD queued = 1;
    if (m_device->OutputQueued(queued) != ERROR_SUCCESS || queued != 0)
        return false;
    m_transmitting = false;
    Record(EV_TXEMPTY);
    return true;
}

std::optional<TCommEngine::Clock::time_point> TCommEngine::AddPollSources(
    std::vector<pollfd>& sources) {
    std::lock_guard lock(m_mutex);
    ++m_pollers;
    sources.push_back({m_kick, POLLIN, 0});
    if (m_closed || m_gone)
        return std::nullopt;
    // Input is watched while there is room for it; a full queue leaves the rest to the driver,
    // whose flow control then holds the sender.
    m_device->PollSources(m_input.size() < m_inputCapacity, !m_writes.empty(), sources);
    std::optional<Clock::time_point> wake;
    if (!m_reads.empty())
        wake = Earliest(wake,
                        Earliest(m_reads.front().totalDeadline, m_reads.front().intervalDeadline));
    if (!m_writes.empty())
        wake = Earliest(wake, m_writes.front().deadline);
    // A write made while nobody was in poll() kicked nobody: its look at whether the bytes have
    // gone out falls to this waiter, which must not sleep through it.
    if (DrainLookDue())
        wake = Clock::now();
    return wake;
}

void TCommEngine::Progress() {
    std::lock_guard lock(m_mutex);
    --m_pollers;
    if (m_kicked) {
        uint64_t count;
        [[maybe_unused]] ssize_t done = read(m_kick, &count, sizeof count);
        m_kicked = false;
    }
    ProgressLocked();
}

void TCommEngine::Look() {
    std::lock_guard lock(m_mutex);
    ProgressLocked();
}

void TCommEngine::ProgressLocked() {
    if (m_closed)
        return;
    if (!m_gone) {
        Record(m_device->TakeLineChanges());
        PullInput();
    }
    if (!m_gone) {
        DWORD errors = 0;
        if (m_device->TakeLineErrors(errors) == ERROR_SUCCESS && errors != 0) {
            m_errors |= errors;
            if (errors & LineErrorBits)
                Record(EV_ERR);
            if (errors & CE_BREAK)
                Record(EV_BREAK);
        }
    }
    CarryReads();
    CarryWrites();
    // Looked at after every wake-up (unless the drain watch has just asked); the device's drain
    // watch makes sure there is one once the driver has sent the last byte.
    if (!WatchDrainIfDue() && m_transmitting && m_writes.empty() && !m_gone)
        NoteDrained();
    CarryWait();
}

void TCommEngine::PullInput() {
    // Whole chunks, also when the queue is nearly full: topping it up a few bytes at a time
    // would cost a read of the terminal each (a flood read that way took 1.3 times the CPU). The
    // queue so holds at most one chunk more than its size.
    char chunk[4096];
    while (!m_gone && m_input.size() < m_inputCapacity) {
        const size_t room = sizeof chunk;
        const long got = m_device->Read(chunk, room);
        if (got < 0) {
            if (DWORD(-got) == ERROR_BAD_COMMAND)
                NoteGone();
            else
                m_errors |= CE_IOE;
            return;
        }
        if (got == 0)
            return;
        const size_t before = m_input.size();
        char* end = chunk + got;
        if ((m_dcb.Flags & DCB_NULL) != 0)
            end = std::remove(chunk, end, '\0');
        if (std::memchr(chunk, m_dcb.EvtChar, size_t(end - chunk)) != nullptr)
            Record(EV_RXFLAG);
        m_input.insert(m_input.end(), chunk, end);
        if (m_input.size() > before)
            Record(EV_RXCHAR);
        const size_t full = m_inputCapacity * 8 / 10;
        if (before < full && m_input.size() >= full)
            Record(EV_RX80FULL);
        if (size_t(got) < room)
            return; // the device is drained
    }
}

void TCommEngine::NoteGone() {
    m_gone = true;
    Kick();
    EndTransfers(ERROR_BAD_COMMAND);
    // A pending wait learns of it once, as a line error where errors are watched; the next
    // wait fails at once and leaves its event unsignalled.
    m_errors |= CE_IOE;
    Record(EV_ERR);
    if (m_wait && m_history == 0) {
        Complete(m_wait->overlapped, m_wait->event, ERROR_BAD_COMMAND, 0);
        m_wait.reset();
    }
}

bool TCommEngine::TakeQueued(PendingRead& read) {
    const size_t count = std::min<size_t>(m_input.size(), read.wanted - read.got);
    if (count == 0)
        return false;
    std::copy_n(m_input.begin(), count, read.buffer + read.got);
    m_input.erase(m_input.begin(), m_input.begin() + std::ptrdiff_t(count));
    read.got += DWORD(count);
    if (read.interval != 0)
        read.intervalDeadline = Clock::now() + std::chrono::milliseconds(read.interval);
    return true;
}

bool TCommEngine::ReadDone(const PendingRead& read, Clock::time_point now) const {
    return read.got == read.wanted || (read.anyByte && read.got > 0) ||
           (read.totalDeadline && now >= *read.totalDeadline) ||
           (read.intervalDeadline && now >= *read.intervalDeadline);
}

void TCommEngine::CarryReads() {
    while (!m_reads.empty()) {
        PendingRead& read = m_reads.front();
        TakeQueued(read);
        if (!ReadDone(read, Clock::now()))
            return;
        Complete(read.overlapped, read.event, ERROR_SUCCESS, read.got);
        m_reads.pop_front();
    }
}

void TCommEngine::CarryWrites() {
    while (!m_writes.empty() && !m_gone) {
        PendingWrite& write = m_writes.front();
        if (write.sent < write.data.size()) {
            const long sent =
                m_device->Write(write.data.data() + write.sent, write.data.size() - write.sent);
            if (sent < 0) {
                if (DWORD(-sent) == ERROR_BAD_COMMAND) {
                    NoteGone();
                    return;
                }
                Complete(write.overlapped, write.event, DWORD(-sent), DWORD(write.sent));
                m_writes.pop_front();
                continue;
            }
            if (sent > 0) {
                write.sent += size_t(sent);
                NoteTransmitting();
            }
        }
        // A time-out ends the write with the bytes that went out, as a success.
        const bool timedOut = write.deadline && Clock::now() >= *write.deadline;
        if (write.sent < write.data.size() && !timedOut)
            return;
        Complete(write.overlapped, write.event, ERROR_SUCCESS, DWORD(write.sent));
        m_writes.pop_front();
    }
}

void TCommEngine::CarryWait() {
    if (!m_wait || (m_history & m_mask) == 0)
        return;
    *m_wait->eventMask = m_history & m_mask;
    m_history = 0;
    Complete(m_wait->overlapped, m_wait->event, ERROR_SUCCESS, 0);
    m_wait.reset();
}

} // namespace Platform
