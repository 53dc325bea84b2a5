#include "serial/ExceptionHandler.h"

#include <cstdio>
#include <exception>
#include <mutex>

namespace {

std::mutex HandlerMutex;
TExceptionHandler& Handler() {
    static TExceptionHandler handler;
    return handler;
}

} // namespace

void WriteFailureToStderr() noexcept {
    try {
        throw;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "Unknown failure\n");
    }
}

void SetExceptionHandler(TExceptionHandler handler) {
    std::lock_guard lock(HandlerMutex);
    Handler() = std::move(handler);
}

void HandleException(TObject* Sender) noexcept {
    TExceptionHandler handler;
    {
        std::lock_guard lock(HandlerMutex);
        handler = Handler();
    }
    try {
        if (handler)
            handler(Sender);
        else
            WriteFailureToStderr();
    } catch (...) {
        WriteFailureToStderr();
    }
}
