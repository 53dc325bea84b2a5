#include "serial/platform/PortPaths.h"

#include "serial/platform/TrustedFolder.h"

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

std::vector<std::string> VirtualPortsFolders() {
    std::string own;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* temporary = std::getenv("TMPDIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        own = std::string(runtime) + "/vell-writer";
    } else {
        const bool tmpdir = temporary != nullptr && temporary[0] == '/';
        own =
            std::string(tmpdir ? temporary : "/tmp") + "/vell-writer-" + std::to_string(::getuid());
    }
    return {own, own + "/ports"};
}

std::string VirtualPortsFolder() {
    return VirtualPortsFolders().back();
}

std::string TrustedPortsFolder(bool create, std::string* problem) {
    const std::vector<std::string> folders = VirtualPortsFolders();
    std::string why;
    if (EnsureTrustedFolders(folders.data(), folders.size(), create, &why))
        return folders.back();
    TellOnce("vell-writer", "virtual ports are not used: " + why);
    if (problem != nullptr)
        *problem = why;
    return {};
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
    // A virtual port counts only in a folder no other user can have put it in.
    const std::string folder = TrustedPortsFolder(false);
    const std::string virtualPath = folder + "/" + name;
    if (!folder.empty() && PathExists(virtualPath)) {
        return virtualPath;
    }
    return devicePath;
}

} // namespace Platform
