#pragma once
// The one way work crosses from another thread to the UI thread: Synchronize runs a routine
// on the UI thread and blocks the caller until it has run there, carrying a failure back.
//
// The UI thread serves requests from its message loop (the application installs a waker that
// posts ServePending to it) and also while it waits for another thread's end (WaitUntil), so
// that closing a port, which waits for its event thread, never deadlocks with a hand-over that
// thread is blocked in. Handlers may therefore run during a port's close.

#include <functional>
#include <thread>

namespace ThreadSync {

// The thread that serves hand-overs; Synchronize called on it runs the routine at once.
void SetUiThread(std::thread::id id);
// Makes the calling thread the UI thread unless one was set already.
void AdoptUiThread();
bool OnUiThread();
// Called from the requesting thread whenever a request is queued.
void SetWaker(std::function<void()> waker);

void Synchronize(const std::function<void()>& routine);
// Whether a routine that `requester` handed over is running on the calling thread now, further
// down its stack: `requester` waits for that routine, so waiting for `requester` here would
// never end.
bool Serving(std::thread::id requester);
// UI thread: runs every queued request.
void ServePending();
// UI thread: serves requests until done() is true. Threads that make done() true call
// NotifyAll afterwards so that the wait looks again.
void WaitUntil(const std::function<bool()>& done);
void NotifyAll();

} // namespace ThreadSync
