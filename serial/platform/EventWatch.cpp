#include "serial/platform/EventWatch.h"

#include "serial/platform/CommEngine.h"
#include "serial/platform/EventObject.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>

namespace Platform {

namespace {

using Clock = TEventWatch::Clock;

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

TEventWatch::TEventWatch(std::vector<std::shared_ptr<TEventObject>> events)
    : m_events(std::move(events)) {}

TEventWatch::~TEventWatch() {
    End();
}

int TEventWatch::Signalled() {
    for (size_t i = 0; i < m_events.size(); ++i)
        if (m_events[i]->TryAcquire())
            return int(i);
    return -1;
}

std::optional<Clock::time_point> TEventWatch::Begin(std::vector<pollfd>& sources) {
    End();
    // The events, and the devices whose pending operations will signal them.
    for (const auto& event : m_events) {
        sources.push_back({event->Fd(), POLLIN, 0});
        if (auto engine = event->PendingOn())
            if (std::find(m_engines.begin(), m_engines.end(), engine) == m_engines.end())
                m_engines.push_back(std::move(engine));
    }
    std::optional<Clock::time_point> wake;
    for (const auto& engine : m_engines)
        Earliest(wake, engine->AddPollSources(sources));
    for (const auto& event : m_events)
        event->Watch();
    m_watching = true;
    return wake;
}

void TEventWatch::End() {
    if (!m_watching)
        return;
    m_watching = false;
    for (const auto& event : m_events)
        event->Unwatch();
    for (const auto& engine : m_engines)
        engine->Progress();
    m_engines.clear();
}

DWORD WaitForEvents(std::vector<std::shared_ptr<TEventObject>> events, DWORD milliseconds) {
    std::optional<Clock::time_point> deadline;
    if (milliseconds != INFINITE)
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);

    TEventWatch watch(std::move(events));
    std::vector<pollfd> sources;
    for (;;) {
        if (const int index = watch.Signalled(); index >= 0)
            return WAIT_OBJECT_0 + DWORD(index);
        if (deadline && Clock::now() >= *deadline)
            return WAIT_TIMEOUT;
        sources.clear();
        std::optional<Clock::time_point> wake = deadline;
        Earliest(wake, watch.Begin(sources));
        const bool failed =
            poll(sources.data(), sources.size(), PollTimeout(wake)) < 0 && errno != EINTR;
        watch.End();
        if (failed) {
            SetLastError(ERROR_GEN_FAILURE);
            return WAIT_FAILED;
        }
    }
}

} // namespace Platform
