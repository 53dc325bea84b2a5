#include "serial/ComThread.h"

#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "serial/ThreadSync.h"

using namespace Platform;

namespace {

// The fixed order in which one wake-up's events reach the port.
constexpr TComEvent DispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                       evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

} // namespace

TComThread::TComThread(TCustomComPort* port) : m_port(port), m_stopEvent(CreateEvent(true, false)) {
    ThreadSync::AdoptUiThread();
    SetCommMask(m_port->Handle(), EventsToMask(m_port->Events));
    // Handlers bound for the UI thread anyway: its own loop waits, if it can.
    if (m_port->SyncMethod() != smNone && ThreadSync::OnUiThread())
        m_uiWait = MakeUiEventWait([this] { UiWaitEnded(); });
    if (m_uiWait) {
        m_uiOverlapped.hEvent = CreateEvent(true, true);
        ArmUiWait();
    }
    ++s_running;
    m_thread = std::thread([this] {
        m_threadId = GetCurrentThreadId();
        Execute();
        if (m_abandoned && !m_uiWait) {
            delete this; // nobody waits for it
            --s_running;
            return;
        }
        --s_running; // before the destructor may go on
        m_finished = true;
        ThreadSync::NotifyAll();
    });
}

TComThread::~TComThread() {
    if (m_abandoned && !m_uiWait)
        return; // run by the thread itself, at its end
    if (m_uiWait)
        m_uiWait->Cancel();
    Stop();
    // The thread may be blocked handing events to this (UI) thread: keep serving them.
    ThreadSync::WaitUntil([this] { return m_finished.load(); });
    m_thread.join();
    // The thread's clean-up has ended the UI thread's wait, if one was pending. The watch
    // goes first, so that the closed event is kept for reuse.
    if (m_uiWait) {
        m_uiWait.reset();
        CloseHandle(m_uiOverlapped.hEvent);
    }
}

void TComThread::Stop() {
    SetEvent(m_stopEvent);
    Sleep(0);
}

bool TComThread::HandOverRunsHere() const {
    const std::thread::id thread = m_thread.get_id();
    return std::this_thread::get_id() == thread || ThreadSync::Serving(thread) ||
           (m_uiHandingOver && ThreadSync::OnUiThread());
}

void TComThread::Abandon() {
    // The thread is held in the hand-over, no event wait pending: what it would do at its end
    // is done here while the device is still open.
    const HANDLE device = m_port->Handle();
    SetCommMask(device, 0);
    PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    m_abandoned = true;
    if (!m_uiWait) {
        m_thread.detach();
        return;
    }
    // A hand-over of the UI thread's wait ends this object once it has returned (UiWaitEnded),
    // and stops the thread, which only waits for that. The loop lets go of the device's
    // descriptors now: the port closes them before then, and may open others under their
    // numbers.
    m_uiWait->Cancel();
}

void TComThread::ArmUiWait() {
    // As in Execute: the wait tells, and a device that fails every wait at once leaves the
    // event unsignalled.
    WaitCommEvent(m_port->Handle(), &m_uiMask, &m_uiOverlapped);
    m_uiWait->Wait(m_uiOverlapped.hEvent);
}

void TComThread::UiWaitEnded() {
    DWORD transferred = 0;
    if (GetOverlappedResult(m_port->Handle(), &m_uiOverlapped, &transferred, false)) {
        m_events = MaskToEvents(m_uiMask);
        m_uiHandingOver = true;
        DispatchComMsg();
        m_uiHandingOver = false;
        if (m_abandoned) {
            delete this; // the port closed inside the hand-over and has forgotten this thread
            return;
        }
    }
    ArmUiWait();
}

void TComThread::Execute() {
    const HANDLE device = m_port->Handle();
    if (m_uiWait) {
        // The UI thread's loop waits for the line: this thread only waits to be stopped.
        WaitForSingleObject(m_stopEvent, INFINITE);
        if (!m_abandoned) {
            SetCommMask(device, 0); // ends the UI thread's wait, if pending
            PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
        }
        CloseHandle(m_stopEvent);
        return;
    }
    OVERLAPPED overlapped;
    overlapped.hEvent = CreateEvent(true, true);
    const HANDLE handles[2] = {m_stopEvent, overlapped.hEvent}; // the stop request wins a tie
    DWORD mask = 0;
    DWORD transferred = 0;
    for (;;) {
        // The immediate result is not looked at: the wait below tells. A device that fails
        // every wait at once leaves the completion event unsignalled, so this sleeps until
        // stopped instead of spinning.
        WaitCommEvent(device, &mask, &overlapped);
        if (WaitForMultipleObjects(2, handles, false, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        if (GetOverlappedResult(device, &overlapped, &transferred, false)) {
            m_events = MaskToEvents(mask);
            DispatchComMsg();
            if (m_abandoned)
                break; // the port closed inside the hand-over: the device is no longer ours
        }
    }
    if (!m_abandoned) {
        SetCommMask(device, 0);
        PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    CloseHandle(overlapped.hEvent);
    CloseHandle(m_stopEvent);
}

void TComThread::DispatchComMsg() {
    // A failing handler is reported where it ran; events keep coming.
    const auto guarded = [this] {
        try {
            DoEvents();
        } catch (...) {
            HandleException(m_port);
        }
    };
    switch (m_port->SyncMethod()) {
    case smThreadSync: ThreadSync::Synchronize(guarded); break;
    case smWindowSync: SendEvents(); break;
    case smNone: guarded(); break;
    }
}

// A handler that closed the port ends the wake-up: the rest was seen on a device now closed.
void TComThread::DoEvents() {
    for (TComEvent event : DispatchOrder)
        if (m_events.Contains(event) && !m_abandoned)
            m_port->DispatchEvent(EventsToMask(TComEvents{event}));
}

void TComThread::SendEvents() {
    for (TComEvent event : DispatchOrder)
        if (m_events.Contains(event) && !m_abandoned && m_port->Window() != nullptr)
            m_port->Window()->SendMessage(TCustomComPort::ComWindowMessage,
                                          EventsToMask(TComEvents{event}), 0);
}

TComWindow* TComWindow::Create(TCustomComPort* port) {
    return new TComWindow(port);
}

void TComWindow::Destroy(TComWindow* window) {
    delete window;
}

intptr_t TComWindow::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    intptr_t result = 0;
    ThreadSync::Synchronize([&] { result = m_port->WindowMethod(message, wParam, lParam); });
    return result;
}
