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

#include "ComTypes.h"
#include "platform/CommApi.h"

#include <atomic>
#include <cstdint>
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

private:
    void Execute();
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();

    TCustomComPort* m_port;
    Platform::HANDLE m_stopEvent;
    TComEvents m_events; // of the last wake-up; written only while no hand-over runs
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_abandoned{false};
    std::thread m_thread;
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
