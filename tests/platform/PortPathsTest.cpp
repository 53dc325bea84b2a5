#include "platform/PortPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Platform::DevicePathForPort;
using Platform::VirtualPortsFolder;

// Sets XDG_RUNTIME_DIR for one test and puts the old value back.
class TRuntimeDirGuard {
public:
    explicit TRuntimeDirGuard(const char* value) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
            m_old = old;
        }
        if (value) {
            ::setenv("XDG_RUNTIME_DIR", value, 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    ~TRuntimeDirGuard() {
        if (m_old) {
            ::setenv("XDG_RUNTIME_DIR", m_old->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }

private:
    std::optional<std::string> m_old;
};

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "vell-ports-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

TEST(PortPaths, VirtualFolderFollowsRuntimeDir) {
    const std::string fallback = "/tmp/vell-writer-" + std::to_string(::getuid()) + "/ports";
    {
        TRuntimeDirGuard guard("/run/user/4242");
        EXPECT_EQ(VirtualPortsFolder(), "/run/user/4242/vell-writer/ports");
    }
    {
        TRuntimeDirGuard guard("");
        EXPECT_EQ(VirtualPortsFolder(), fallback);
    }
    {
        TRuntimeDirGuard guard(nullptr);
        EXPECT_EQ(VirtualPortsFolder(), fallback);
    }
}

TEST(PortPaths, ResolvesNamesToDevicesOrVirtualPorts) {
    const std::string runtime = MakeTempDir();
    TRuntimeDirGuard guard(runtime.c_str());
    const fs::path ports = fs::path(runtime) / "vell-writer" / "ports";
    fs::create_directories(ports);
    // A virtual port whose pseudo-terminal has gone still names the port; one that shadows a
    // /dev name loses to it.
    const std::string simulator = "vellsim" + std::to_string(::getpid());
    fs::create_symlink("/nonexistent/pts/77", ports / simulator);
    fs::create_symlink("/dev/zero", ports / "null");
    ASSERT_FALSE(fs::exists(fs::symlink_status("/dev/" + simulator)));

    const struct {
        std::string name;
        std::string path;
    } cases[] = {
        {"null", "/dev/null"},
        {"\\\\.\\null", "/dev/null"},
        {simulator, (ports / simulator).string()},
        {"\\\\.\\" + simulator, (ports / simulator).string()},
        {simulator + "x", "/dev/" + simulator + "x"},
        {"/tmp/some/port", "/tmp/some/port"},
        {"\\\\.\\/tmp/some/port", "/tmp/some/port"},
        {"pts/3", "pts/3"},
        {"\\\\.\\", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DevicePathForPort(c.name), c.path);
    }
    fs::remove_all(runtime);
}

} // namespace
