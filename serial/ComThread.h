#pragma once
// The event thread of an open port: it sleeps in the device's event wait, turns each wake-up
// into an event set and hands it to the port — on the UI thread (smThreadSync), through the
// port's hidden window (smWindowSync), or directly on this thread (smNone). It never reads or
// writes data. A handler's failure is reported through the application's report; the thread
// goes on.
//
// Created and destroyed on the UI thread by the port's open and close; the destructor stops
// the thread and waits for its end while serving hand-overs. A close from inside one of the
// thread's own hand-overs cannot wait for it: it abandons the thread instead, which ends and
// frees itself once that hand-over returns.
//
// Where the handlers run on the UI thread (smThreadSync, smWindowSync) and the UI thread's
// message loop can wait for an event object itself (UiEventWait.h), the loop waits for the
// line events in this thread's stead and hands each wake-up over where it wakes: a received
// byte then wakes one thread, not two one after the other. The wait, its record and the
// hand-over are the same; the thread then only waits to be stopped and cleans up as always.

#include "serial/ComTypes.h"
#include "serial/UiEventWait.h"
#include "serial/platform/CommApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class TCustomComPort;

class TComThread {
public:
    explicit TComThread(TCustomComPort* port);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Asks the thread to stop; does not wait.
    void Stop();
    // Whether the caller runs inside one of this thread's hand-overs (on the UI thread, or on
    // the thread itself under smNone): the thread cannot end before the caller returns.
    bool HandOverRunsHere() const;
    // Only from inside a hand-over: does the thread's clean-up of the still open device now,
    // drops the rest of the wake-up, and lets the thread end and free itself after the
    // hand-over without touching the port or the device again. The caller forgets the thread.
    void Abandon();

    // The system's id of the thread, once it runs (0 before): tests look at its own waits.
    uint32_t ThreadId() const { return m_threadId; }
    // Event threads not yet at their end, abandoned ones included: a close has waited for its
    // port's thread, an abandoned thread is counted until it has ended.
    static int Running() { return s_running; }

private:
    void Execute();
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();
    // The UI thread's wait: armed, and ended in its message loop.
    void ArmUiWait();
    void UiWaitEnded();

    TCustomComPort* m_port;
    Platform::HANDLE m_stopEvent;
    TComEvents m_events; // of the last wake-up; written only while no hand-over runs
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_abandoned{false};
    // Set before the thread starts: the UI thread's loop waits (m_uiWait), with this record
    // and mask, which only the UI thread touches until the thread's end clears the mask.
    std::unique_ptr<TUiEventWait> m_uiWait;
    Platform::OVERLAPPED m_uiOverlapped;
    Platform::DWORD m_uiMask = 0;
    std::atomic<bool> m_uiHandingOver{false}; // the UI thread runs a hand-over of this thread
    std::atomic<uint32_t> m_threadId{0};
    std::thread m_thread;
    static inline std::atomic<int> s_running{0};
};

// The port's hidden window: the receiver of synchronous messages from the event thread, run
// on the UI thread by the port's WindowMethod.
class TComWindow {
public:
    static TComWindow* Create(TCustomComPort* port);
    static void Destroy(TComWindow* window);
    // Runs the port's WindowMethod on the UI thread and returns once it has run.
    intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

private:
    explicit TComWindow(TCustomComPort* port) : m_port(port) {}
    TCustomComPort* m_port;
};
