#pragma once
// What a serial device handle is: the device a form provides, plus the behaviour the port
// relies on that the forms share — the input queue, overlapped reads, writes and event waits
// with their time-outs, the event mask and the events seen since the last wait, line errors,
// and purging.
//
// Received bytes are moved from the device into the input queue whenever anyone looks (a
// read, a status query, a wait), so "characters received" means new bytes since the last wait,
// never bytes that merely sit unread. An operation that cannot end at once stays pending until
// a waiter carries it on (EventWatch.h) or it is aborted.
//
// Every method may be called from any thread; one mutex guards the state.

#include "serial/platform/CommApi.h"
#include "serial/platform/CommDevice.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

class TEventObject;

class TCommEngine : public std::enable_shared_from_this<TCommEngine> {
public:
    using Clock = std::chrono::steady_clock;
    using Event = std::shared_ptr<TEventObject>;

    explicit TCommEngine(std::unique_ptr<TCommDevice> device);
    TCommEngine(const TCommEngine&) = delete; // owns the device and its wake-up descriptor
    TCommEngine& operator=(const TCommEngine&) = delete;
    ~TCommEngine();

    // Each returns 0 or a Windows error number. The overlapped ones return ERROR_IO_PENDING
    // when the operation goes on; `event` is then signalled when it ends.
    DWORD SetupComm(DWORD inQueue, DWORD outQueue);
    DWORD SetCommState(const DCB& dcb);
    DWORD GetCommState(DCB& dcb);
    DWORD SetCommTimeouts(const COMMTIMEOUTS& timeouts);
    DWORD GetCommTimeouts(COMMTIMEOUTS& timeouts);
    DWORD SetCommMask(DWORD mask);
    DWORD GetCommMask(DWORD& mask);
    DWORD WaitCommEvent(DWORD* eventMask, OVERLAPPED* overlapped, const Event& event);
    DWORD Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped, const Event& event);
    DWORD Write(const void* data, DWORD count, DWORD* written, OVERLAPPED* overlapped,
                const Event& event);
    DWORD ClearCommError(DWORD* errors, COMSTAT* status);
    DWORD GetCommModemStatus(DWORD* status);
    DWORD EscapeCommFunction(DWORD function);
    DWORD PurgeComm(DWORD flags);
    DWORD TransmitCommChar(char character);
    // Ends every pending operation as aborted; the device closes once no waiter holds it.
    void Close();

    // For waiters: adds the descriptors to watch and returns when the engine next needs to
    // look (a time-out of a pending operation), if ever.
    std::optional<Clock::time_point> AddPollSources(std::vector<pollfd>& sources);
    // Moves received bytes in, notes line changes and errors, carries pending operations on.
    void Progress();
    // The same for a caller that looks without having polled (GetOverlappedResult without
    // waiting): the waiters in poll() stay counted, so that a later change still wakes them.
    void Look();

private:
    struct PendingRead {
        char* buffer;
        DWORD wanted;
        DWORD got;
        OVERLAPPED* overlapped;
        Event event;
        std::optional<Clock::time_point> totalDeadline;
        std::optional<Clock::time_point> intervalDeadline; // after the first byte
        bool anyByte;   // ends as soon as it has a byte (total time-out bounds the wait)
        DWORD interval; // longest gap between bytes, 0 for none
    };
    struct PendingWrite {
        std::string data; // our own copy: the caller may reuse its buffer at once
        size_t sent;
        OVERLAPPED* overlapped;
        Event event;
        std::optional<Clock::time_point> deadline;
    };
    struct PendingWait {
        DWORD* eventMask;
        OVERLAPPED* overlapped;
        Event event;
    };

    void ProgressLocked();
    void PullInput();
    void NoteGone();
    // Pending writes, reads, or both end with `error`.
    void EndWrites(DWORD error);
    void EndReads(DWORD error);
    void EndTransfers(DWORD error);
    void CarryReads();
    void CarryWrites();
    void CarryWait();
    bool TakeQueued(PendingRead& read);
    bool ReadDone(const PendingRead& read, Clock::time_point now) const;
    void Begin(OVERLAPPED* overlapped, const Event& event);
    void Pend(const Event& event);
    static void Complete(OVERLAPPED* overlapped, const Event& event, DWORD error, DWORD bytes);
    void Record(DWORD events) { m_history |= events & m_mask; }
    void Kick(); // makes waiters look again: the state changed under them
    void NoteTransmitting() { m_transmitting = m_drainUnwatched = true; }
    // Once every write is in the driver and EV_TXEMPTY is wanted, notes the drain if the
    // driver's queue is empty already and otherwise asks the device to wake waiters when it
    // has drained. True when it asked the driver.
    bool WatchDrainIfDue();
    // Whether bytes went out since the last look and a waiter wants to know when they are sent.
    bool DrainLookDue() const {
        return m_drainUnwatched && m_writes.empty() && (m_mask & EV_TXEMPTY) && !m_gone;
    }
    // Records EV_TXEMPTY if the driver holds nothing more to send.
    bool NoteDrained();

    std::mutex m_mutex;
    std::unique_ptr<TCommDevice> m_device;
    bool m_closed = false;
    bool m_gone = false;
    DCB m_dcb;            // as the device held it when opened, then as last set
    DWORD m_dcbError = 0; // reading it at open failed: GetCommState reports this
    COMMTIMEOUTS m_timeouts;
    std::deque<char> m_input;
    size_t m_inputCapacity = 4096; // SetupComm's size, never below 4 KiB; bytes are taken in
                                   // while the queue holds less
    DWORD m_mask = 0;
    DWORD m_history = 0;           // masked events since the last completed wait
    DWORD m_errors = 0;            // CE_* bits since the last ClearCommError
    bool m_transmitting = false;   // bytes handed to the device, not yet known to be sent
    bool m_drainUnwatched = false; // bytes handed to the device since the last WatchDrain
    int m_kick = -1;               // eventfd, readable while m_kicked
    bool m_kicked = false;
    int m_pollers = 0; // waiters between AddPollSources and Progress
    std::deque<PendingRead> m_reads;
    std::deque<PendingWrite> m_writes;
    std::optional<PendingWait> m_wait;
};

} // namespace Platform
