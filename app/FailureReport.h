#pragma once
// The application's report of a failure that escapes a handler run by the message loop: a box
// captioned with the application title, an error icon and OK; then the program goes on.
//
// Exceptions must never unwind through the toolkit's own frames, so every handler that the
// message loop runs (buttons, timers, page changes, check boxes) is wrapped with Guarded()
// where it is connected. TApplication::notify catches what an event handler lets escape.

#include <QString>
#include <exception>
#include <utility>

// The report's text: the message, with a period appended when its last character comes after
// "." in character-code order (a letter or digit does, a closing parenthesis does not).
QString FailureText(const QString& message);

// Shows the report for the exception being handled; call only from inside a catch block.
void ReportCurrentException() noexcept;

// Wraps a handler that takes no arguments (capture what it needs) so that a failure it throws
// is reported and goes no further.
template <class Handler> auto Guarded(Handler handler) {
    return [handler = std::move(handler)]() mutable {
        try {
            handler();
        } catch (...) {
            ReportCurrentException();
        }
    };
}
