#include "controls/UiHandOver.h"

#include "controls/LoopEventWait.h"
#include "serial/ExceptionHandler.h"
#include "serial/ThreadSync.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <exception>

namespace {

std::function<void()>& Reporter() {
    static std::function<void()> reporter;
    return reporter;
}

void Report() noexcept {
    if (!Reporter()) {
        WriteFailureToStderr();
        return;
    }
    try {
        Reporter()();
    } catch (...) {
        WriteFailureToStderr(); // a report that fails itself
    }
}

} // namespace

void SetUiFailureReporter(std::function<void()> reporter) {
    Reporter() = std::move(reporter);
}

void InstallUiHandOver() {
    QCoreApplication* application = QCoreApplication::instance();
    ThreadSync::SetUiThread(std::this_thread::get_id());
    // Each queued hand-over posts one call; a call finding the queue empty (served meanwhile
    // by a close waiting for its thread) does nothing.
    ThreadSync::SetWaker([application] {
        QMetaObject::invokeMethod(
            application, [] { ThreadSync::ServePending(); }, Qt::QueuedConnection);
    });
    // Ports whose handlers run here let this loop wait for their line events itself.
    SetUiEventWaitMaker(MakeLoopEventWait);
    SetExceptionHandler([application](TObject*) {
        if (ThreadSync::OnUiThread()) {
            Report();
            return;
        }
        // A handler that ran on the event thread: the report belongs on the UI thread.
        QMetaObject::invokeMethod(
            application,
            [failure = std::current_exception()] {
                try {
                    std::rethrow_exception(failure);
                } catch (...) {
                    Report();
                }
            },
            Qt::QueuedConnection);
    });
}
