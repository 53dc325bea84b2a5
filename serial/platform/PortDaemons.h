#pragma once
// Finding the programs that take USB serial adapters from others, so that a port that will not
// open can name them: ModemManager opens new modem-like ports to probe them, brltty claims
// adapters it takes for braille displays. Linux only; any thread.

#include "serial/OpenFailureReason.h"

#include <string>

namespace Platform {

// Which of them run now: a process folder of `procRoot` (the system's /proc, or a test's
// stand-in) whose comm names one. A folder that cannot be read tells nothing, never fails.
TPortDaemons RunningPortDaemons(const std::string& procRoot = "/proc");

// Whether the device is a USB serial port: its name (links resolved) is a ttyUSB or ttyACM, or
// its sysfs device below `sysRoot` belongs to usb or usb-serial.
bool IsUsbSerialPort(const std::string& devicePath, const std::string& sysRoot = "/sys");

} // namespace Platform
