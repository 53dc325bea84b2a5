#pragma once
// The UI thread's message loop waiting for an event object itself. A port whose handlers run on
// the UI thread lets the loop wait for its line events: a received byte then wakes the UI thread
// directly, where it would otherwise wake the event thread only to be handed over to the UI
// thread, two threads switched in and out for every event. The application installs the loop's
// form of it (UiHandOver.h); without one the event thread waits as before.

#include "serial/platform/CommApi.h"

#include <functional>
#include <memory>

class TUiEventWait {
public:
    virtual ~TUiEventWait() = default;
    // Calls the ready routine from the UI thread's message loop once `event` is signalled, on
    // the loop's next turn if it is signalled already. One wait at a time: after the call
    // nothing is watched until the next Wait.
    virtual void Wait(Platform::HANDLE event) = 0;
    // Stops watching; the ready routine is not called until the next Wait.
    virtual void Cancel() = 0;
};

using TUiEventWaitMaker = std::function<std::unique_ptr<TUiEventWait>(std::function<void()> ready)>;

// Called on the UI thread by whoever runs its message loop; an empty maker removes it.
void SetUiEventWaitMaker(TUiEventWaitMaker maker);
// A wait of the installed form, or none.
std::unique_ptr<TUiEventWait> MakeUiEventWait(std::function<void()> ready);
