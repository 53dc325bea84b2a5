#pragma once
// How a signal lamp follows its port, whatever draws it (the Qt lamp, the Windows lamp): which
// slot of its link the signal fills, and whether that line is on at the port now. Plain C++.

#include "controls/LedTypes.h"
#include "serial/ComLink.h"

#include <functional>

class TComPort;

namespace LampSignal {

// Empties the link and fills the slot of `signal`: a line's change goes to `change`, a ring
// (an event, not a line) to `ring`.
void Follow(TComLink& link, TComLedSignal signal, const std::function<void(bool on)>& change,
            const std::function<void()>& ring);
// Whether the line is on at the port now; a closed port has no lines to read, and a ring, a
// receive or a transmit is an event that never reads as on.
bool IsOn(TComPort* port, TComLedSignal signal);

} // namespace LampSignal
