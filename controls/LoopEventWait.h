#pragma once
// The Qt form of the UI thread's own wait for an event object (UiEventWait.h): socket
// notifiers on the descriptors the wait polls and a timer for a pending operation's time-out,
// served by the UI thread's event loop.

#include "serial/UiEventWait.h"

std::unique_ptr<TUiEventWait> MakeLoopEventWait(std::function<void()> ready);
