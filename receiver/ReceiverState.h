#pragma once
// Where the receiver is in its start-up, as the main window follows it.

#include <cstdint>

enum TReceiverState : int32_t {
    rsIdle = 0,    // waiting for the receiver
    rsRunning = 2, // a programming or erase run is in progress
    rsFrozen = 4,  // held in its loader; the program and erase buttons are enabled
};

// The kind of the chosen image: the index of the page it was chosen on.
enum TImageKind : int32_t {
    ikNone = -1,
    ikFlash = 0,
    ikFirmware = 1,
    ikEeprom = 2,
    ikErase = 3, // only while an erase run starts
};
