#include "serial/platform/PortPaths.h"

#include "serial/EnumComPorts.h"
#include "serial/platform/OpenFailure.h"
#include "serial/platform/TermiosDevice.h"
#include "tests/support/PlantedFolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
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
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string oldTmpdir = tmpdir ? tmpdir : "";
    ::unsetenv("TMPDIR");
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(VirtualPortsFolder(), fallback);
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(VirtualPortsFolder(), fallback);
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(VirtualPortsFolder(),
              "/var/tmp/vell-writer-" + std::to_string(::getuid()) + "/ports");
    if (tmpdir)
        ::setenv("TMPDIR", oldTmpdir.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

// Another user who makes the fallback folder first: nothing in it is listed, resolved to or
// opened, and the simulator's folder check refuses it too.
TEST(TrustedFolder, FolderPlantedByAnotherUserIsNotUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as nobody";
    TPrivateTmp tmp;
    ASSERT_TRUE(tmp.Plant());
    std::string problem;
    EXPECT_EQ(Platform::TrustedPortsFolder(true, &problem), "");
    EXPECT_NE(problem.find("belongs to user 65534"), std::string::npos) << problem;
    EXPECT_EQ(DevicePathForPort("planted"), "/dev/planted");
    std::vector<std::string> ports;
    EnumComPorts(ports);
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "planted"), 0);
    // Reached by its path all the same, another user's terminal is not taken for a port.
    Platform::DWORD error = 0;
    EXPECT_EQ(Platform::OpenTermiosDevice(tmp.Ports() + "/planted", error), nullptr);
    EXPECT_EQ(error, Platform::ERROR_ACCESS_DENIED);
    ASSERT_TRUE(Platform::LastOpenFailure().has_value()) << "the log is told why";
    EXPECT_EQ(Platform::LastOpenFailure()->call, "owner");
}

TEST(TrustedFolder, OnlyFoldersOfTheUserAloneAreUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder away";
    TPrivateTmp tmp;
    const std::string own = fs::path(tmp.Ports()).parent_path().string();
    const std::string ports = tmp.Ports();
    const auto make = [&] { fs::create_directories(ports); };
    const struct {
        const char* name;
        std::function<void()> setUp;
        const char* problem; // "" for a folder that is used
    } cases[] = {
        {"missing", [] {}, ""},
        {"link to a folder of ours",
         [&] {
             fs::create_directories(tmp.Path() + "/elsewhere/ports");
             fs::create_directory_symlink(tmp.Path() + "/elsewhere", own);
         },
         " is a link, not a folder"},
        {"group-writable",
         [&] {
             make();
             ::chmod(own.c_str(), 0770);
         },
         " can be written by other users"},
        {"ports folder of another user",
         [&] {
             make();
             ASSERT_EQ(::chown(ports.c_str(), 65534, 65534), 0);
         },
         " belongs to user 65534, not to you"},
        {"a file", [&] { std::ofstream(own.c_str()) << "x"; }, " is not a folder"},
    };
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove_all(own, ec);
        fs::remove_all(tmp.Path() + "/elsewhere", ec);
        c.setUp();
        std::string problem;
        const std::string used = Platform::TrustedPortsFolder(true, &problem);
        if (c.problem[0] == '\0') {
            EXPECT_EQ(used, ports) << c.name << ": " << problem;
            struct stat info {};
            for (const std::string& folder : {own, ports}) {
                ASSERT_EQ(::lstat(folder.c_str(), &info), 0) << c.name;
                EXPECT_EQ(info.st_mode & 07777, 0700u) << c.name << " " << folder;
            }
        } else {
            EXPECT_EQ(used, "") << c.name;
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
        }
    }
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
