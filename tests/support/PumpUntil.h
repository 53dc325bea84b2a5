#pragma once
// The bounded wait for tests on a Qt event loop: serves this thread's events while it waits, so
// that what the test waits for (a signal, a timer, a child's output) can happen on this thread.
// It sleeps in the loop until an event comes; a tick wakes it to look at conditions that other
// threads change without posting an event. Call it on the thread of the loop.

#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace TestSupport {

template <class TDone>
bool PumpUntil(TDone&& done, std::chrono::milliseconds patience = kPatience) {
    QTimer tick;
    tick.start(10);
    return WaitUntil(std::forward<TDone>(done), patience, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    });
}

} // namespace TestSupport
