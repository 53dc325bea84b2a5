#pragma once
// The application's report of a failure that the port catches itself (opening in Loaded, a
// handler that raised inside a window hand-over or on the event thread). The application
// installs its report; without one the failure is written to the standard error stream.

#include <functional>

class TObject;

using TExceptionHandler = std::function<void(TObject* Sender)>;

// Called inside a catch block; the handler may rethrow to look at the failure.
void HandleException(TObject* Sender) noexcept;
void SetExceptionHandler(TExceptionHandler handler);
// Writes the failure being handled to the standard error stream; inside a catch block only.
void WriteFailureToStderr() noexcept;
