#include "serial/platform/PortDaemons.h"

#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Platform;
using TestSupport::TTempFolder;
namespace fs = std::filesystem;

// An entry of a stand-in /proc: a process folder with its comm, or a link to `target`.
struct TEntry {
    std::string name;
    std::string comm;   // written to name/comm unless empty
    std::string target; // the entry is a link to this, when not empty
};

void Plant(const TTempFolder& proc, const TEntry& entry) {
    const fs::path path = proc.Path(entry.name);
    if (!entry.target.empty()) {
        fs::create_symlink(entry.target, path);
        return;
    }
    fs::create_directories(path);
    if (!entry.comm.empty())
        std::ofstream(path / "comm") << entry.comm;
}

// Only process folders count, each by its own comm; links lead nowhere, as the real /proc's
// never do for a process folder.
TEST(PortDaemons, FoundByTheCommOfAProcessFolder) {
    TTempFolder elsewhere;
    std::ofstream(elsewhere.Path("comm")) << "brltty\n";
    const struct {
        const char* what;
        std::vector<TEntry> entries;
        TPortDaemons found;
    } cases[] = {
        {"none", {{"1", "systemd\n", ""}, {"20", "bash\n", ""}}, {}},
        {"ModemManager", {{"1", "systemd\n", ""}, {"812", "ModemManager\n", ""}}, {true, false}},
        {"brltty without a line feed", {{"77", "brltty", ""}}, {false, true}},
        {"both", {{"812", "ModemManager\n", ""}, {"90", "brltty\n", ""}}, {true, true}},
        {"a name that only begins alike", {{"5", "brltty-ttyS\n", ""}}, {}},
        {"not a process folder", {{"self", "brltty\n", ""}, {"12a", "ModemManager\n", ""}}, {}},
        {"a folder without comm", {{"31", "", ""}}, {}},
        {"linked folder", {{"44", "", elsewhere.Path()}}, {}},
        {"linked comm", {{"45", "", ""}, {"45/comm", "", elsewhere.Path("comm")}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TTempFolder proc;
        for (const TEntry& entry : c.entries)
            Plant(proc, entry);
        EXPECT_EQ(RunningPortDaemons(proc.Path()), c.found);
    }
    EXPECT_EQ(RunningPortDaemons(elsewhere.Path("no-such-proc")), TPortDaemons{})
        << "a /proc that cannot be read tells nothing";
}

TEST(PortDaemons, UsbSerialPortByNameOrSysfs) {
    TTempFolder sys;
    fs::create_directories(sys.Path("bus/usb-serial"));
    fs::create_directories(sys.Path("bus/platform"));
    const auto device = [&](const std::string& tty, const std::string& bus) {
        fs::create_directories(sys.Path("class/tty/" + tty + "/device"));
        fs::create_symlink("../../../../bus/" + bus,
                           sys.Path("class/tty/" + tty + "/device/subsystem"));
    };
    device("ttyMXUSB0", "usb-serial");
    device("ttyS0", "platform");
    const struct {
        const char* path;
        bool usb;
    } cases[] = {
        {"/dev/ttyUSB0", true}, {"/dev/ttyACM3", true}, {"/dev/ttyMXUSB0", true},
        {"/dev/ttyS0", false},  {"/dev/pts/4", false},  {"/dev/vell-no-such-port", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUsbSerialPort(c.path, sys.Path()), c.usb) << c.path;
}

} // namespace
