#include "serial/EnumComPorts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

// A fake tty class folder (sys) and virtual ports folder (ports) in a fresh temporary folder.
class FakePortTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "enumports-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* folder : {"sys", "ports", "driver"})
            fs::create_directory(root / folder);
        std::ofstream(root / "pty") << "";
    }
    void TearDown() override { fs::remove_all(root); }

    // A tty class entry; type < 0 leaves out the type file. As in sysfs, the entry may be a
    // link to the device's folder.
    void Tty(const std::string& name, bool driver, int type, bool asLink = false) {
        const fs::path folder = root / (asLink ? "devices" : "sys") / name;
        fs::create_directories(folder / "device");
        if (driver)
            fs::create_directory_symlink(root / "driver", folder / "device" / "driver");
        if (type >= 0)
            std::ofstream(folder / "type") << type << '\n';
        if (asLink)
            fs::create_directory_symlink(folder, root / "sys" / name);
    }
    void VirtualPort(const std::string& name, bool live) {
        fs::create_symlink(root / (live ? "pty" : "gone"), root / "ports" / name);
    }
    Names List(const char* sys = "sys", const char* ports = "ports") {
        Names names{"stale"};
        EnumComPortsFrom((root / sys).string(), (root / ports).string(), names);
        return names;
    }

    fs::path root;
};

} // namespace

TEST_F(FakePortTree, ListsDriverPortsAndLiveVirtualPortsSortedWithoutCase) {
    Tty("ttyS0", true, 4, /*asLink=*/true);
    Tty("ttyS10", true, 4);
    Tty("ttyS1", true, 0);    // 8250 slot with no UART
    Tty("ttyUSB0", true, -1); // no type file
    Tty("tty0", false, -1);   // a virtual terminal: no driver
    for (const char* name : {"COM2", "COM10", "COM1", "com1", "Zeta", "ttyUSB0"})
        VirtualPort(name, true);
    VirtualPort("COM3", false);
    std::ofstream(root / "ports" / "notes") << "not a link";
    EXPECT_EQ(List(), (Names{"COM1", "com1", "COM10", "COM2", "ttyS0", "ttyS10", "ttyUSB0",
                             "ttyUSB0", "Zeta"}));
}

TEST_F(FakePortTree, MissingFoldersGiveNothing) {
    VirtualPort("COM5", true);
    EXPECT_EQ(List("none", "nowhere"), Names{});
    EXPECT_EQ(List("none"), Names{"COM5"});
}

// The real system: the driver ports of /sys/class/tty and the live links of this user's
// virtual ports folder (here one of the test's own), in place of the earlier contents.
TEST(EnumComPorts, ReplacesTheListOnThisSystem) {
    std::string runtime = (fs::temp_directory_path() / "enumports-run-XXXXXX").string();
    ASSERT_NE(mkdtemp(runtime.data()), nullptr);
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = savedRuntime != nullptr ? savedRuntime : "";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const fs::path ports = fs::path(runtime) / "vell-writer" / "ports";
    fs::create_directories(ports);
    fs::permissions(fs::path(runtime) / "vell-writer", fs::perms::owner_all);
    fs::permissions(ports, fs::perms::owner_all);
    std::ofstream(fs::path(runtime) / "line") << "";
    fs::create_symlink(fs::path(runtime) / "line", ports / "COM-guard");
    fs::create_symlink(fs::path(runtime) / "gone", ports / "COM-gone");

    Names expected;
    EnumComPortsFrom("/sys/class/tty", "", expected);
    expected.push_back("COM-guard");
    std::sort(expected.begin(), expected.end());
    Names listed{"not a port: earlier contents"};
    EnumComPorts(listed);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);

    if (savedRuntime != nullptr)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(runtime);
}
