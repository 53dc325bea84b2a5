#include "external/WineRouteCheck.h"

#include "external/WineRegistryText.h"
#include "tests/support/PeBytes.h"
#include "tests/support/TempFolder.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A prefix as Wine leaves it, with LPT1 on a FIFO (what a capture would use), and a clean
// transfer program beside it.
struct TWorld {
    TestSupport::TTempFolder Folder;
    const std::string Prefix = Folder.Path("prefix"), Fifo = Folder.Path("lpt");
    const std::string Program = Folder.Path("Vell_par.exe");
    TPeBytes Image;

    static std::string Section(const std::string& key, const std::string& values) {
        return "[" + key + "] 1796717386\n#time=1dd86eb7d269d36\n" + values + "\n";
    }
    static std::string Ports(const std::string& lpt1) {
        return Section("Software\\\\Wine\\\\Ports", "\"COM1\"=\"\"\n\"LPT1\"=" + lpt1);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(Prefix + "/" + name, std::ios::binary) << text;
    }
    void System(const std::string& sections) {
        Write("system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine"
                            "\n\n#arch=win64\n\n" +
                                Section("Software\\\\Classes\\\\.txt", "@=\"txtfile\"") + sections);
    }
    void User(const std::string& sections) {
        Write("user.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\"
                          "S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n" +
                              sections);
    }
    void Save() {
        const std::vector<uint8_t> bytes = Image.Build();
        std::ofstream(Program, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    void Append(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
    }
};

// The findings, each line holding all of its words.
using TLines = std::vector<std::vector<std::string>>;

void ExpectLines(const std::vector<std::string>& found, const TLines& expected,
                 const std::string& name) {
    ASSERT_EQ(found.size(), expected.size()) << name << (found.empty() ? "" : ": " + found[0]);
    for (size_t i = 0; i < found.size(); ++i)
        for (const std::string& word : expected[i])
            EXPECT_NE(found[i].find(word), std::string::npos) << name << ": " << found[i];
}

const std::string kWow = "[Software\\\\Wow6432Node\\\\Wine\\\\Ports] 1\n\"LPT1\"=\"/dev/null\"\n";
const std::string kBig = std::string(1 << 20, 'x');
// After LPT1, NUL bytes and a section's line too long to keep: the value below it is not LPT1's.
const std::string kHostileLpt1 =
    "\"/dev/null\0\"\n\0\0\n"s + "[Software\\\\Wine\\\\Other" + kBig + "]\n\"LPT1\"=\"/\"";

} // namespace

TEST(WineRouteCheck, FindsWhatStandsInTheWay) {
    const bool root = ::geteuid() == 0;
    const auto give = [](const std::string& path) { return ::chown(path.c_str(), 65534, 65534); };
    const TLines byDefault = {{"/dev/lp0 (Wine's default)", "does not exist", "modprobe"}};
    const struct {
        const char* Name;
        std::function<void(TWorld&)> Make;
        TLines Lines;
        bool Root = false;    // gives files away
        bool Default = false; // /dev/lp0 is used, expected missing
    } cases[] = {
        {"nothing in the way", [](TWorld&) {}, {}},
        {"a port library",
         [](TWorld& w) {
             w.Image.Imports.push_back({"inpout32.dll", {"Out32", "Inp32"}}), w.Save();
         },
         {{"Vell_par.exe uses inpout32.dll", "I/O addresses", "Wine does not allow"}}},
        {"libraries in any case, delay-loaded, each once",
         [](TWorld& w) {
             w.Image.Pe32Plus = true;
             w.Image.Imports.push_back({"INPOUTX64.DLL", {"Out32"}});
             w.Image.Imports.push_back({"inpoutx64.dll", {"#2"}});
             w.Image.Delayed = {{"WinIo64.dll", {"InitializeWinIo"}}};
             w.Save();
         },
         {{"uses INPOUTX64.DLL"}, {"uses WinIo64.dll"}}},
        {"giveio named", [](TWorld& w) { w.Append(w.Program, "\\\\.\\GiveIO"); }, {{"giveio"}}},
        {"giveio in UTF-16",
         [](TWorld& w) { w.Append(w.Program, "g\0I\0v\0E\0i\0o\0"s); },
         {{"giveio"}}},
        {"giveio spread", [](TWorld& w) { w.Append(w.Program, "g.i.v.e.i.o."); }, {}},
        {"not a program",
         [](TWorld& w) { std::ofstream(w.Program) << "MZ giveio inpout32.dll"; },
         {}},
        {"program is a FIFO",
         [](TWorld& w) { fs::remove(w.Program), ::mkfifo(w.Program.c_str(), 0600); },
         {}},
        {"program of 5 GB", [](TWorld& w) { fs::resize_file(w.Program, uint64_t(5) << 30); }, {}},
        {"target missing",
         [](TWorld& w) { w.System(w.Ports("\"" + w.Folder.Path("none") + "\"")); },
         {{"none (as ", "system.reg maps it)", "does not exist", "sudo modprobe parport_pc lp",
           "wine reg add 'HKLM\\Software\\Wine\\Ports' /v LPT1 /d /dev/lp0 /f", "wineserver -k"}}},
        {"parport",
         [](TWorld& w) { w.System(w.Ports("\"/dev/parport0\"")); },
         {{"/dev/parport0", "Wine cannot write", "claims the port", "/v LPT1 /d /dev/lp0"}}},
        {"a regular file",
         [](TWorld& w) { w.System(w.Ports("\"" + w.Program + "\"")); },
         {{"is a regular file", "/d /dev/lp0"}}},
        {"a folder",
         [](TWorld& w) { w.System(w.Ports("\"" + w.Folder.Path() + "\"")); },
         {{"is a folder"}}},
        {"a character device", [](TWorld& w) { w.System(w.Ports("\"/dev/null\"")); }, {}},
        {"names in any case, CR LF",
         [](TWorld& w) { w.System("[software\\\\WINE\\\\ports] 1\r\n\"lpt1\"=\"/dev/nul\"\r\n"); },
         {{"/dev/nul ", "does not exist"}}},
        {"escapes",
         [](TWorld& w) {
             ::mkfifo(w.Folder.Path("lp \xc3\xa4\"\\\xf0\x9f\x98\x80").c_str(), 0600);
             w.System(w.Ports("\"" + w.Folder.Path("lp \\xe4\\\"\\\\\\xd83d\\xde00\"")));
         },
         {}},
        {"expandable path", [](TWorld& w) { w.System(w.Ports("str(2):\"" + w.Fifo + "\"")); }, {}},
        {"expandable with variables",
         [](TWorld& w) { w.System(w.Ports("str(2):\"%HOME%/lp\"")); },
         {{"(\"%HOME%/lp\") is not a plain absolute path", "/d /dev/lp0"}}},
        {"relative", [](TWorld& w) { w.System(w.Ports("\"lp0\"")); }, {{"not a plain absolute"}}},
        {"not a text", [](TWorld& w) { w.System(w.Ports("dword:00000001")); }, {{"is not a text"}}},
        {"switched off", [](TWorld& w) { w.System(w.Ports("\"\"")); }, {{"switched off"}}},
        {"mapped elsewhere only", [](TWorld& w) { w.System(kWow); }, byDefault, false, true},
        {"no prefix yet", [](TWorld& w) { fs::remove_all(w.Prefix); }, byDefault, false, true},
        {"Windows 98",
         [](TWorld& w) { w.User(w.Section("Software\\\\Wine", "\"Version\"=\"win98\"")); },
         {{"reports Windows 98 (user.reg)", "drops every write",
           "Windows XP or later in winecfg"}}},
        {"Windows ME for the program",
         [](TWorld& w) {
             w.User(w.Section("Software\\\\Wine\\\\AppDefaults\\\\vell_PAR.exe",
                              "\"version\"=\"WinME\""));
         },
         {{"Windows ME (user.reg, for Vell_par.exe alone)"}}},
        {"the program's own version first",
         [](TWorld& w) {
             w.User(w.Section("Software\\\\Wine", "\"Version\"=\"win95\"") +
                    w.Section("Software\\\\Wine\\\\AppDefaults\\\\Vell_par.exe",
                              "\"Version\"=\"winxp\""));
         },
         {}},
        {"another program's version",
         [](TWorld& w) {
             w.User(w.Section("Software\\\\Wine\\\\AppDefaults\\\\x.exe", "\"Version\"=\"win98\""));
         },
         {}},
        {"older prefix",
         [](TWorld& w) {
             w.User(""), w.System(w.Section("Software\\\\Wine", "\"Version\"=\"win95\"") +
                                  w.Ports("\"/dev/null\""));
         },
         {{"Windows 95 (system.reg)"}}},
        {"prefix is a file",
         [](TWorld& w) { fs::remove_all(w.Prefix), w.Append(w.Prefix, "x"); },
         {{"cannot be read (Not a directory)", "WINEPREFIX"}}},
        {"prefix of another user",
         [&](TWorld& w) { give(w.Prefix); },
         {{"belongs to another user"}},
         true},
        {"system.reg of another user",
         [&](TWorld& w) { give(w.Prefix + "/system.reg"); },
         {{"system.reg", "belongs to another user (65534)", "where Wine sends LPT1"}},
         true},
        {"system.reg a link",
         [](TWorld& w) {
             fs::remove(w.Prefix + "/system.reg");
             fs::create_symlink("/dev/null", w.Prefix + "/system.reg");
         },
         {{"system.reg", "is a link"}}},
        {"user.reg a FIFO",
         [](TWorld& w) {
             fs::remove(w.Prefix + "/user.reg"), ::mkfifo((w.Prefix + "/user.reg").c_str(), 0600);
         },
         {{"user.reg", "is not a regular file", "which Windows version"}}},
        {"system.reg of 5 GB",
         [](TWorld& w) { fs::resize_file(w.Prefix + "/system.reg", uint64_t(5) << 30); },
         {{"system.reg", "larger than 64 MB"}}},
        {"long lines and NUL bytes",
         [](TWorld& w) {
             w.System(kBig + "\n[Software\\\\Wine\\\\Ports" + kBig + "]\n\"LPT1\"=\"/\"\n" +
                      w.Ports(kHostileLpt1));
         },
         {}},
    };
    for (const auto& c : cases) {
        if ((c.Root && !root) || (c.Default && fs::exists("/dev/lp0")))
            continue;
        TWorld world;
        fs::create_directory(world.Prefix);
        ASSERT_EQ(::mkfifo(world.Fifo.c_str(), 0600), 0);
        world.System(world.Ports("\"" + world.Fifo + "\""));
        world.User(world.Section("Software\\\\Wine", "\"Version\"=\"win10\""));
        world.Save();
        c.Make(world);
        ExpectLines(WineRouteFindings(world.Program, world.Prefix), c.Lines, c.Name);
    }
}

// Mode bits keep a user, not root, from the device; tests/as_nobody.sh runs this as nobody.
TEST(WineRouteCheck, TargetThisUserMayNotWrite) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: mode bits do not keep root from writing";
    TWorld world;
    fs::create_directory(world.Prefix);
    ASSERT_EQ(::mkfifo(world.Fifo.c_str(), 0444), 0);
    world.System(world.Ports("\"" + world.Fifo + "\""));
    ExpectLines(WineRouteFindings(world.Program, world.Prefix),
                {{"neither this user nor its group", "usermod -aG", "log in again"}}, "read-only");
}

TEST(WineRouteCheck, PrefixFolder) {
    const char* saved = std::getenv("WINEPREFIX");
    const std::string restore = saved ? saved : "";
    ::setenv("WINEPREFIX", "/opt/wine prefix", 1);
    EXPECT_EQ(WinePrefixFolder(), "/opt/wine prefix");
    ::setenv("WINEPREFIX", "relative", 1);
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        EXPECT_EQ(WinePrefixFolder(), std::string(home) + "/.wine");
    }
    saved ? (void)::setenv("WINEPREFIX", restore.c_str(), 1) : (void)::unsetenv("WINEPREFIX");
}

// Wine's own escapes: UTF-16 units in up to four hex digits, pairs joined, octal, C letters.
TEST(WineRegistryText, Escapes) {
    const TWineRegScan scan = ScanWineRegistry(
        "[A\\\\B] 1\n\"a\"=\"\\x00e9a\\xd83d\\xde00\\xd83dz\"\n\"B\"=\"\\1\\t\\q\\x\"\n@=hex:2f\n",
        {{"a\\b", "A"}, {"a\\b", "b"}, {"a\\b", ""}, {"a", "a"}});
    ASSERT_TRUE(scan.Found(0) && scan.Found(2) && !scan.Found(3));
    EXPECT_EQ(scan.Found(0)->Data, "\xc3\xa9"
                                   "a\xf0\x9f\x98\x80\xef\xbf\xbdz");
    EXPECT_EQ(scan.Found(1)->Data, "\x01\tqx");
    EXPECT_EQ(scan.Found(2)->Kind, TWineRegValue::EKind::Other);
}
