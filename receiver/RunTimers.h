#pragma once
// The run's two timers, started and stopped by the dialogue; the window calls the dialogue's
// Timer1Timer and Timer2Timer when they come due. UI thread only.

// The paste into the transfer program, 500 ms after its start, and the watchdog, 30 s
// without progress.
enum class TRunTimer { Paste, Watchdog };

class TRunTimers {
public:
    virtual ~TRunTimers() = default;

    virtual void SetTimerRunning(TRunTimer timer, bool running) = 0;
    virtual bool TimerRunning(TRunTimer timer) const = 0;
};
