#include "serial/platform/EventObject.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Platform {

TEventObject::TEventObject(bool manualReset, bool initialState)
    : m_manualReset(manualReset), m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (initialState)
        Set();
}

void TEventObject::Reinitialise(bool manualReset, bool initialState) {
    Reset();
    {
        std::lock_guard lock(m_mutex);
        m_manualReset = manualReset;
        m_pendingOn.reset();
    }
    if (initialState)
        Set();
}

TEventObject::~TEventObject() {
    if (m_fd >= 0)
        close(m_fd);
}

void TEventObject::RaiseFd() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t done = write(m_fd, &one, sizeof one);
    m_fdSignalled = true;
}

void TEventObject::DrainFd() {
    uint64_t count;
    [[maybe_unused]] ssize_t done = read(m_fd, &count, sizeof count);
    m_fdSignalled = false;
}

void TEventObject::Set() {
    std::lock_guard lock(m_mutex);
    if (m_signalled)
        return;
    m_signalled = true;
    if (m_watchers > 0)
        RaiseFd();
}

void TEventObject::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
    if (m_fdSignalled)
        DrainFd();
}

bool TEventObject::TryAcquire() {
    std::lock_guard lock(m_mutex);
    if (!m_signalled)
        return false;
    if (!m_manualReset) {
        m_signalled = false;
        if (m_fdSignalled)
            DrainFd();
    }
    return true;
}

void TEventObject::Watch() {
    std::lock_guard lock(m_mutex);
    ++m_watchers;
    // Signalled since the waiter last looked: the poll must return at once.
    if (m_signalled && !m_fdSignalled)
        RaiseFd();
}

void TEventObject::Unwatch() {
    std::lock_guard lock(m_mutex);
    --m_watchers;
}

std::shared_ptr<TCommEngine> TEventObject::PendingOn() const {
    std::lock_guard lock(m_mutex);
    return m_pendingOn.lock();
}

void TEventObject::SetPendingOn(const std::shared_ptr<TCommEngine>& engine) {
    std::lock_guard lock(m_mutex);
    m_pendingOn = engine;
}

} // namespace Platform
