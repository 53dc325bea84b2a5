#pragma once
// Makes sure the program ends once its window has closed: a thread started with the program
// waits until it is told the window is gone, then gives the tear-down a few seconds and ends
// the process if it is still there. A program that lingers unseen would keep the receiver's
// port open, and the next start could not open it. Under Wine, joining the serial port's
// ended event thread at exit was seen to wait for ever, about once in a dozen runs.

class TExitGuard {
public:
    // Starts the watching thread now, while starting one costs nothing.
    TExitGuard();
    TExitGuard(const TExitGuard&) = delete;
    TExitGuard& operator=(const TExitGuard&) = delete;
    ~TExitGuard();

    // The window is gone: the process ends within `seconds` from now, whatever holds it.
    void WindowClosed();

    static constexpr unsigned kSeconds = 10;

private:
    void* m_closed; // an event
    void* m_thread;
};
