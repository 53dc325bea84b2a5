#include "EventObject.h"

#include "CommEngine.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Platform {

using Clock = std::chrono::steady_clock;

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

namespace {

int PollTimeout(std::optional<Clock::time_point> deadline) {
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return left.count() <= 0 ? 0 : int(std::min<int64_t>(left.count(), INT32_MAX));
}

void Earliest(std::optional<Clock::time_point>& deadline, std::optional<Clock::time_point> other) {
    if (other && (!deadline || *other < *deadline))
        deadline = other;
}

} // namespace

DWORD WaitForEvents(const std::vector<std::shared_ptr<TEventObject>>& events, DWORD milliseconds) {
    std::optional<Clock::time_point> deadline;
    if (milliseconds != INFINITE)
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);

    std::vector<pollfd> sources;
    std::vector<std::shared_ptr<TCommEngine>> engines;
    for (;;) {
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i]->TryAcquire())
                return WAIT_OBJECT_0 + DWORD(i);
        if (deadline && Clock::now() >= *deadline)
            return WAIT_TIMEOUT;

        // Watch the events, and the devices whose pending operations will signal them.
        sources.clear();
        engines.clear();
        for (const auto& event : events) {
            sources.push_back({event->Fd(), POLLIN, 0});
            if (auto engine = event->PendingOn()) {
                bool known = false;
                for (const auto& seen : engines)
                    known = known || seen == engine;
                if (!known)
                    engines.push_back(std::move(engine));
            }
        }
        std::optional<Clock::time_point> wake = deadline;
        for (const auto& engine : engines)
            Earliest(wake, engine->AddPollSources(sources));

        for (const auto& event : events)
            event->Watch();
        const bool failed =
            poll(sources.data(), sources.size(), PollTimeout(wake)) < 0 && errno != EINTR;
        for (const auto& event : events)
            event->Unwatch();
        for (const auto& engine : engines)
            engine->Progress();
        if (failed) {
            SetLastError(ERROR_GEN_FAILURE);
            return WAIT_FAILED;
        }
    }
}

} // namespace Platform
