#pragma once
// Event objects on eventfds, so that a wait is a poll() that can watch devices at the same
// time. An event that ends a pending device operation names the engine carrying that
// operation, and every wait on it carries the operation on while it waits.

#include "serial/platform/CommApi.h"

#include <memory>
#include <mutex>

namespace Platform {

class TCommEngine;

class TEventObject {
public:
    TEventObject(bool manualReset, bool initialState);
    ~TEventObject();
    TEventObject(const TEventObject&) = delete;
    TEventObject& operator=(const TEventObject&) = delete;

    bool Valid() const { return m_fd >= 0; }
    // Makes a used event as good as new, so that its eventfd can serve again.
    void Reinitialise(bool manualReset, bool initialState);
    int Fd() const { return m_fd; }
    void Set();
    void Reset();
    // True when signalled; an auto-reset event is reset by a successful acquire.
    bool TryAcquire();
    // Between these a waiter polls Fd(): while anyone watches, the descriptor is readable
    // exactly when the event is signalled. Unwatched, only the flag changes, which spares a
    // transfer that ends at once (the common case) two system calls per event.
    void Watch();
    void Unwatch();

    // The engine whose pending operation will signal this event, or none.
    std::shared_ptr<TCommEngine> PendingOn() const;
    void SetPendingOn(const std::shared_ptr<TCommEngine>& engine);

private:
    void RaiseFd(); // both under m_mutex
    void DrainFd();

    mutable std::mutex m_mutex;
    bool m_manualReset;
    bool m_signalled = false;
    bool m_fdSignalled = false; // the eventfd is readable; only ever while m_signalled
    int m_watchers = 0;
    int m_fd = -1;
    std::weak_ptr<TCommEngine> m_pendingOn;
};

} // namespace Platform
