#pragma once
// The names of the serial ports on this system, for the user to choose from. On Linux: the
// devices a driver has claimed, and the virtual ports published in the per-user folder; on
// Windows: the ports the system lists in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. Listing never
// opens, locks or reconfigures a port.

#include <string>
#include <vector>

// Replaces Ports' contents with the port names, sorted without regard to case ("COM10" before
// "COM2"). What cannot be read contributes nothing; on Windows, a registry value that is not
// text fails with "Invalid data type for '<value name>'".
void EnumComPorts(std::vector<std::string>& Ports);

#ifdef _WIN32
// EnumComPorts over a given registry key (root: a predefined key such as HKEY_CURRENT_USER),
// so tests can list a key of their own.
void EnumComPortsFromKey(void* root, const std::wstring& subKey, std::vector<std::string>& Ports);
#else
// EnumComPorts over a given tty class folder (/sys/class/tty) and virtual ports folder, so
// tests can list a tree of their own.
void EnumComPortsFrom(const std::string& sysClassTty, const std::string& virtualFolder,
                      std::vector<std::string>& Ports);
#endif
