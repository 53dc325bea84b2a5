#include "winapp/HandOver.h"

#include "serial/ExceptionHandler.h"
#include "serial/ThreadSync.h"
#include "winapp/ControlIds.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace {

HWND g_window = nullptr;
TWinDialogs* g_dialogs = nullptr;
int g_reporting = 0; // a failure while a box is up is written, not boxed again

std::string CurrentMessage() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "Out of memory";
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return "Unknown failure";
    }
}

} // namespace

void ReportCurrentException(HWND owner, TWinDialogs& dialogs) noexcept {
    try {
        const std::string text = FailureText(CurrentMessage());
        if (g_reporting > 0) {
            std::fprintf(stderr, "%s\n", text.c_str());
            return;
        }
        ++g_reporting;
        try {
            dialogs.ShowFailure(owner, text);
        } catch (...) {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        --g_reporting;
    } catch (...) {
        WriteFailureToStderr();
    }
}

void InstallWinHandOver(HWND window, TWinDialogs& dialogs) {
    g_window = window;
    g_dialogs = &dialogs;
    ThreadSync::SetUiThread(std::this_thread::get_id());
    // Each queued hand-over posts one message; one finding the queue empty does nothing.
    ThreadSync::SetWaker([window] { PostMessageW(window, WinIds::ServeHandOvers, 0, 0); });
    SetExceptionHandler([window](TObject*) {
        if (ThreadSync::OnUiThread()) {
            if (g_dialogs != nullptr)
                ReportCurrentException(window, *g_dialogs);
            return;
        }
        // A handler that ran on the event thread: the report belongs on the UI thread.
        auto* failure = new (std::nothrow) std::exception_ptr(std::current_exception());
        if (failure == nullptr || !PostMessageW(window, ReportFailureMessage, WPARAM(failure), 0)) {
            delete failure;
            WriteFailureToStderr();
        }
    });
}

void RemoveWinHandOver() {
    ThreadSync::SetWaker(nullptr);
    SetExceptionHandler(nullptr);
    g_window = nullptr;
    g_dialogs = nullptr;
}

void ServeHandOvers() {
    ThreadSync::ServePending();
}

void ReportPostedFailure(WPARAM posted) noexcept {
    auto* failure = reinterpret_cast<std::exception_ptr*>(posted);
    try {
        std::rethrow_exception(*failure);
    } catch (...) {
        if (g_dialogs != nullptr)
            ReportCurrentException(g_window, *g_dialogs);
        else
            WriteFailureToStderr();
    }
    delete failure;
}
