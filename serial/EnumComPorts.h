#pragma once
// The names of the serial ports on this system, for the user to choose from: the devices a
// driver has claimed, and the virtual ports published in the per-user folder. Listing only
// reads the system's device tree; it never opens, locks or reconfigures a port.

#include <string>
#include <vector>

// Replaces Ports' contents with the port names, sorted without regard to case. A folder that
// cannot be read contributes nothing; listing never fails.
void EnumComPorts(std::vector<std::string>& Ports);

// EnumComPorts over a given tty class folder (/sys/class/tty) and virtual ports folder, so
// tests can list a tree of their own.
void EnumComPortsFrom(const std::string& sysClassTty, const std::string& virtualFolder,
                      std::vector<std::string>& Ports);
