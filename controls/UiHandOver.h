#pragma once
// Connects the port's hand-over to Qt: the application's thread becomes the UI thread, queued
// hand-overs are served from its event loop, and a failure that a port catches is reported
// through the installed reporter on the UI thread (posted there when it arose elsewhere).

#include <functional>

// Call once, on the UI thread, after the application object exists.
void InstallUiHandOver();

// Shows a failure; called inside a catch block on the UI thread. Without one the failure goes
// to the standard error stream.
void SetUiFailureReporter(std::function<void()> reporter);
