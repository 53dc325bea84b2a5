#include "platform/PortPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Platform::DevicePathForPort;
using Platform::VirtualPortsFolder;

// Each test gets its own XDG_RUNTIME_DIR; the process's own is put back afterwards.
class PortPaths : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadRuntime = old != nullptr;
        m_oldRuntime = old ? old : "";
        m_runtime = (fs::temp_directory_path() / "vell-ports-XXXXXX").string();
        ASSERT_NE(::mkdtemp(m_runtime.data()), nullptr);
        ::setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
    }
    void TearDown() override {
        fs::remove_all(m_runtime);
        if (m_hadRuntime) {
            ::setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    std::string m_runtime;
    std::string m_oldRuntime;
    bool m_hadRuntime = false;
};

TEST_F(PortPaths, VirtualFolderFollowsRuntimeDir) {
    EXPECT_EQ(VirtualPortsFolder(), m_runtime + "/vell-writer/ports");
    const std::string fallback = "/tmp/vell-writer-" + std::to_string(::getuid()) + "/ports";
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(VirtualPortsFolder(), fallback);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(VirtualPortsFolder(), fallback);
}

TEST_F(PortPaths, ResolvesNamesToDevicesOrVirtualPorts) {
    const fs::path ports = fs::path(m_runtime) / "vell-writer" / "ports";
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
        {"\\\\.\\" + simulator, (ports / simulator).string()},
        {simulator + "x", "/dev/" + simulator + "x"},
        {"\\\\.\\/tmp/some/port", "/tmp/some/port"},
        {"pts/3", "pts/3"},
        {"\\\\.\\", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DevicePathForPort(c.name), c.path) << c.name;
    }
}

} // namespace
