#pragma once
// Waiting for event objects: the blocking wait behind WaitForSingleObject and
// WaitForMultipleObjects, and the same wait split around its poll for a thread that sleeps in
// a loop of its own (the UI thread's message loop polls the descriptors itself).
//
// A wait watches the events' eventfds and the devices whose pending operations will signal
// them; woken, it lets those devices carry their operations on, which may signal an event.

#include "serial/platform/CommApi.h"

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct pollfd;

namespace Platform {

class TCommEngine;
class TEventObject;

class TEventWatch {
public:
    using Clock = std::chrono::steady_clock;

    explicit TEventWatch(std::vector<std::shared_ptr<TEventObject>> events);
    ~TEventWatch();
    TEventWatch(const TEventWatch&) = delete;
    TEventWatch& operator=(const TEventWatch&) = delete;

    // The lowest index of a signalled event (an auto-reset one is reset by this), or -1.
    int Signalled();
    // Starts a round: adds what to poll until an event may be signalled to `sources`, and
    // returns when to look again at the latest (a pending operation's time-out), if ever.
    std::optional<Clock::time_point> Begin(std::vector<pollfd>& sources);
    // Ends the round once the poll has returned (or is given up): the devices carry on.
    void End();

private:
    std::vector<std::shared_ptr<TEventObject>> m_events;
    std::vector<std::shared_ptr<TCommEngine>> m_engines; // of the round under way
    bool m_watching = false;
};

// A watch of one event handle; none for a handle that is not an event.
std::unique_ptr<TEventWatch> WatchEvent(HANDLE event);

// Waits until one of the events is signalled (the lowest index wins a tie) or the time-out
// passes. Returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED (with SetLastError).
DWORD WaitForEvents(std::vector<std::shared_ptr<TEventObject>> events, DWORD milliseconds);

} // namespace Platform
