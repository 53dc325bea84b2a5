#pragma once
// Where serial ports live on this system. A port name is a device under /dev ("ttyUSB0"), or
// a virtual port: a link named after the port in the per-user virtual ports folder, pointing at
// a pseudo-terminal that a program (the receiver simulator, socat) publishes without root.

#include <string>
#include <vector>

namespace Platform {

// $XDG_RUNTIME_DIR/vell-writer/ports, or /tmp/vell-writer-<uid>/ports without a runtime folder
// ($TMPDIR instead of /tmp when it names an absolute folder).
std::string VirtualPortsFolder();
// The folders of ours on the way there, outermost first: ".../vell-writer[-<uid>]", ".../ports".
std::vector<std::string> VirtualPortsFolders();
// The virtual ports folder once every folder of ours on the way is a real directory of the
// effective user that no one else can write (made, mode 0700, with `create`); empty when one
// is not, with the reason in `problem` and told once on standard error. A folder that is not
// there yet passes: it has no ports in it.
std::string TrustedPortsFolder(bool create, std::string* problem = nullptr);

// The path CreateFile opens for a port name: the `\\.\` prefix, where given, is dropped; a name
// with a slash is a path already; a name under /dev wins over a virtual port of that name.
std::string DevicePathForPort(const std::string& portName);

} // namespace Platform
