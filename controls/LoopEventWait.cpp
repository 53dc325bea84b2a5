#include "controls/LoopEventWait.h"

#include "serial/platform/EventWatch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <poll.h>
#include <vector>

namespace {

using Platform::HANDLE;

class TLoopEventWait final : public TUiEventWait {
public:
    explicit TLoopEventWait(std::function<void()> ready);
    TLoopEventWait(const TLoopEventWait&) = delete; // owns the loop's watch of a descriptor
    TLoopEventWait& operator=(const TLoopEventWait&) = delete;
    ~TLoopEventWait() override;
    void Wait(HANDLE event) override;
    void Cancel() override;

private:
    // Idle: nothing watched. Soon: signalled already, the timer fires on the loop's next turn.
    // Round: the watch is on (between TEventWatch::Begin and End).
    enum class TState { Idle, Soon, Round };

    void Look();
    void Finish();
    void Deliver();
    void Woken();
    void TimedOut();
    void Quiet();
    void Want(int fd, QSocketNotifier::Type type);

    std::function<void()> m_ready;
    HANDLE m_event = 0;
    std::unique_ptr<Platform::TEventWatch> m_watch;
    TState m_state = TState::Idle;
    std::vector<pollfd> m_sources;
    // Kept from round to round: a notifier switched on or off costs the loop a wake-up of its
    // own, and most rounds watch what the last one did. One that fires while the wait is
    // signalled already delivers it; one that fires while no round is on (a hand-over's handler
    // runs a loop) is switched off until the next round.
    std::vector<QSocketNotifier*> m_notifiers;
    std::vector<bool> m_wanted; // by index into m_notifiers, for the round being set up
    QTimer* m_timer;
    bool m_delivering = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

TLoopEventWait::TLoopEventWait(std::function<void()> ready)
    : m_ready(std::move(ready)), m_timer(new QTimer) {
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer, &QTimer::timeout, [this] { TimedOut(); });
}

TLoopEventWait::~TLoopEventWait() {
    *m_alive = false;
    Cancel();
    std::vector<QObject*> owned(m_notifiers.begin(), m_notifiers.end());
    owned.push_back(m_timer);
    for (QObject* object : owned) {
        object->disconnect();
        // Ended from the ready routine, whose notifier or timer is still on the stack.
        if (m_delivering)
            object->deleteLater();
        else
            delete object;
    }
}

void TLoopEventWait::Wait(HANDLE event) {
    if (!m_watch || event != m_event) {
        m_watch = Platform::WatchEvent(event);
        m_event = event;
    }
    if (m_watch)
        Look();
}

void TLoopEventWait::Cancel() {
    if (m_state == TState::Round)
        m_watch->End();
    m_state = TState::Idle;
    m_timer->stop();
    Quiet();
}

void TLoopEventWait::Look() {
    if (m_watch->Signalled() >= 0) {
        m_state = TState::Soon;
        if (!m_delivering) // from the ready routine, Deliver decides
            m_timer->start(0);
        return;
    }
    m_sources.clear();
    const auto deadline = m_watch->Begin(m_sources);
    m_state = TState::Round;
    m_wanted.assign(m_notifiers.size(), false);
    // A descriptor polled for nothing but a hang-up (a full input queue) is left out: a
    // notifier would fire for the bytes waiting in it as well.
    for (const pollfd& source : m_sources) {
        if (source.events & POLLIN)
            Want(source.fd, QSocketNotifier::Read);
        if (source.events & POLLOUT)
            Want(source.fd, QSocketNotifier::Write);
    }
    for (size_t i = 0; i < m_notifiers.size(); ++i)
        m_notifiers[i]->setEnabled(m_wanted[i]);
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            *deadline - Platform::TEventWatch::Clock::now());
        m_timer->start(int(std::clamp<int64_t>(left.count(), 0, INT32_MAX)));
    } else {
        m_timer->stop();
    }
}

void TLoopEventWait::Want(int fd, QSocketNotifier::Type type) {
    for (size_t i = 0; i < m_notifiers.size(); ++i) {
        if (m_notifiers[i]->socket() == fd && m_notifiers[i]->type() == type) {
            m_wanted[i] = true;
            return;
        }
    }
    auto* notifier = new QSocketNotifier(fd, type);
    notifier->setEnabled(false);
    QObject::connect(notifier, &QSocketNotifier::activated, [this] { Woken(); });
    m_notifiers.push_back(notifier);
    m_wanted.push_back(true);
}

void TLoopEventWait::Finish() {
    m_watch->End();
    m_state = TState::Idle;
    if (m_watch->Signalled() >= 0)
        Deliver();
    else
        Look();
}

void TLoopEventWait::Deliver() {
    const auto alive = m_alive;
    m_delivering = true;
    // A wait signalled again as soon as it is made (an answer's transmit queue ran empty during
    // the handlers) is delivered on this turn of the loop too, once: more would keep the loop
    // from its other work while bytes flood in.
    for (int turn = 0;; ++turn) {
        m_state = TState::Idle;
        m_timer->stop();
        m_ready(); // may end this wait
        if (!*alive)
            return;
        if (m_state != TState::Soon || turn == 1)
            break;
    }
    m_delivering = false;
    if (m_state == TState::Soon)
        m_timer->start(0);
}

void TLoopEventWait::Woken() {
    if (m_state == TState::Round)
        Finish();
    else if (m_state == TState::Soon && !m_delivering)
        Deliver(); // signalled already: switching the notifiers off and on would wake the loop
    else
        Quiet();
}

void TLoopEventWait::TimedOut() {
    if (m_state == TState::Round)
        Finish();
    else if (m_state == TState::Soon)
        Deliver();
}

void TLoopEventWait::Quiet() {
    for (QSocketNotifier* notifier : m_notifiers)
        notifier->setEnabled(false);
}

} // namespace

std::unique_ptr<TUiEventWait> MakeLoopEventWait(std::function<void()> ready) {
    return std::make_unique<TLoopEventWait>(std::move(ready));
}
