#pragma once
// Where serial ports live on this system. A port name is a device under /dev ("ttyUSB0"), or
// a virtual port: a link named after the port in the per-user virtual ports folder, pointing at
// a pseudo-terminal that a program (the receiver simulator, socat) publishes without root.

#include <string>

namespace Platform {

// $XDG_RUNTIME_DIR/vell-writer/ports, or /tmp/vell-writer-<uid>/ports without a runtime folder.
std::string VirtualPortsFolder();

// The path CreateFile opens for a port name: the `\\.\` prefix, where given, is dropped; a name
// with a slash is a path already; a name under /dev wins over a virtual port of that name.
std::string DevicePathForPort(const std::string& portName);

} // namespace Platform
