#pragma once
// Why a port would not open, in terms every system's form can fill: the device, the call that
// failed, what kind of refusal it was, the system's own words for it, for a port another
// program holds which program, and for a USB port the running programs known to take such
// ports. Carried by the port's "Unable to open com port" failure, so that whoever catches it
// can tell the user why without asking the system again. Plain data.

#include <string>

enum class TOpenFailureKind {
    Permission,   // the user may not use the device
    Missing,      // no such device (unplugged, never published)
    Busy,         // another program holds it
    NotATerminal, // the device is no serial port
    NotOwn,       // a virtual port leading to a terminal that is not the user's own
    Other,
};

// Programs found running that take USB serial adapters from others; looked for only when a USB
// serial port failed to open, and only where the system tells.
struct TPortDaemons {
    bool modemManager = false; // opens new modem-like ports to probe them
    bool brltty = false;       // claims adapters it takes for braille displays

    bool operator==(const TPortDaemons&) const = default;
};

struct TOpenFailureReason {
    std::string path; // the device as opened
    std::string call; // the call that failed, as the system names it
    TOpenFailureKind kind = TOpenFailureKind::Other;
    std::string systemText;    // the system's words for the refusal: "Permission denied"
    long holderPid = 0;        // the program holding the port; 0 when unknown
    std::string holderCommand; // its command name, printable; may be empty
    TPortDaemons daemons;
};
