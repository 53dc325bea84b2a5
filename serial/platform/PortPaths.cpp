#include "PortPaths.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// lstat, not stat: a virtual port is a link to a pseudo-terminal, and a link whose terminal has
// gone still names the port, so that opening it reports "no such device" rather than falling
// back to a /dev name that was never meant.
bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

std::string VirtualPortsFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/vell-writer/ports";
    }
    return "/tmp/vell-writer-" + std::to_string(::getuid()) + "/ports";
}

std::string DevicePathForPort(const std::string& portName) {
    static const std::string kDevicePrefix = "\\\\.\\";
    std::string name = portName;
    if (name.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0) {
        name.erase(0, kDevicePrefix.size());
    }
    // No name names no port; "/dev/" would be the folder itself. An empty path fails to open
    // with "no such device".
    if (name.empty()) {
        return name;
    }
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const std::string devicePath = "/dev/" + name;
    if (PathExists(devicePath)) {
        return devicePath;
    }
    const std::string virtualPath = VirtualPortsFolder() + "/" + name;
    if (PathExists(virtualPath)) {
        return virtualPath;
    }
    return devicePath;
}

} // namespace Platform
