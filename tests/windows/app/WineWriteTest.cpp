// A whole FLASH write through the Windows window under Wine, driven from outside as a person
// drives it: VellWriter.exe (64-bit) on a COM port of the test prefix mapped to the receiver
// simulator's pseudo-terminal, with the modem-line library preloaded into Wine so that its
// event waits and the receiver's DSR and RLSD work; the 32-bit stand-in beside it as
// Vell_par.exe delivering the image to the simulator; DriveWindow.exe clicking, answering and
// reading the window. The preloaded lines, rather than the serial layer's in-process fake line,
// keep the window's port on Wine's own COM path, as on a user's machine. Skipped where Wine,
// the mingw-w64 build or VellWriter.exe is missing.

#include "tests/support/Crc32.h"
#include "tests/support/WineSession.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace WineTest;

namespace {

// The port the test maps, through a link of its own pointed at the simulator's terminal: Wine
// links the port to the link once, and no restart is needed for the next terminal.
constexpr int ComNumber = 6;
const std::string ComName = "COM" + std::to_string(ComNumber);
const std::string ComLink = TWineSession::Prefix() + "-com6";
constexpr size_t FlashSize = 524288;

std::string Arch64(const std::string& place) {
    return TWineSession::Program("x86_64", place);
}

class WineWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = TWineSession::Missing(
            {Arch64("app-tests/DriveWindow.exe"), TWineSession::StandInProgram("i686")});
        if (!missing.empty())
            GTEST_SKIP() << missing;
        if (!fs::exists(Arch64("winapp/VellWriter.exe")))
            GTEST_SKIP() << "the Windows window is not built: " << Arch64("winapp/VellWriter.exe");
        char folder[] = "/tmp/wine-write-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        home = folder;
        for (const char* name : {"/run", "/lines", "/Vell Writer"})
            fs::create_directory(home + name);
        // The receiver, with its lines switched on the emulated register.
        simulator = std::make_unique<TChildProcess>(
            std::vector<std::string>{RECEIVER_SIM, "--name", "wine0", "--step", "20"},
            TEnvironment{{"XDG_RUNTIME_DIR", home + "/run"}, {"VELL_MODEM_LINES", home + "/lines"}},
            TChildStreams{.inputPipe = true, .outputFile = home + "/simulator.log"});
        const std::string port = home + "/run/vell-writer/ports/wine0";
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return fs::is_symlink(port); }))
            << "the simulator published no port";
        fs::remove(ComLink + ".new");
        fs::create_symlink(fs::read_symlink(port), ComLink + ".new");
        fs::rename(ComLink + ".new", ComLink);
        // Before the session: mapping the port restarts the prefix's server.
        ASSERT_TRUE(WineTest::Run({WINE_PREFIX_SCRIPT, TWineSession::Prefix(), "--com",
                                   std::to_string(ComNumber), ComLink},
                                  {}, 300s, "/dev/null"))
            << ComName << " could not be mapped";
        session = std::make_unique<TWineSession>();
        // Only the window's Wine needs the lines; the 32-bit Wine of the stand-in ignores them.
        windowEnvironment = session->Environment({{"LD_PRELOAD", MODEM_LINES_LIBRARY},
                                                  {"VELL_MODEM_LINES", home + "/lines"},
                                                  {"XDG_RUNTIME_DIR", home + "/run"},
                                                  {"VELL_STANDIN_PORT", "wine0"},
                                                  {"VELL_STANDIN_RECORD", home + "/record"}});
        // A fresh program folder: the window starts Vell_par.exe from its own.
        fs::copy_file(Arch64("winapp/VellWriter.exe"), home + "/Vell Writer/VellWriter.exe");
        fs::copy_file(TWineSession::StandInProgram("i686"), home + "/Vell Writer/Vell_par.exe");
    }

    void TearDown() override {
        if (window)
            window->WaitExit(10s); // killed if it did not end
        window.reset();
        session.reset();
        if (simulator)
            simulator->Write("quit\n");
        simulator.reset();
        fs::remove(ComLink); // nothing of ours behind the port until the next run
        std::error_code ec;
        if (!home.empty())
            fs::remove_all(home, ec);
    }

    // Runs the driver's commands; its output, or why they failed.
    ::testing::AssertionResult Drive(const std::vector<std::string>& commands) {
        std::vector<std::string> args = {WINE_PROGRAM, Arch64("app-tests/DriveWindow.exe")};
        args.insert(args.end(), commands.begin(), commands.end());
        const std::string output = home + "/driver.txt";
        TChildProcess driver(args, session->Environment(),
                             {.outputFile = output, .appendOutput = false, .errorToOutput = true});
        const int exit = driver.WaitExit(120s);
        const std::string seen = ReadFile(output);
        std::printf("%s", seen.c_str());
        if (exit != 0)
            return ::testing::AssertionFailure()
                   << "driver exit " << exit << ":\n"
                   << seen << "window: " << ReadFile(home + "/window.log")
                   << "simulator: " << ReadFile(home + "/simulator.log");
        return ::testing::AssertionSuccess();
    }

    std::string home;
    std::unique_ptr<TChildProcess> simulator;
    std::unique_ptr<TWineSession> session;
    TEnvironment windowEnvironment;
    std::unique_ptr<TChildProcess> window;
};

TEST_F(WineWriteTest, FlashWriteThroughTheWindow) {
    // ASCII: how the window takes other letters is another test's.
    const std::string image = home + "/my images/flash 1.bin";
    fs::create_directory(home + "/my images");
    std::string bytes(FlashSize, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) & 0xFF);
    std::ofstream(image, std::ios::binary) << bytes;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", TestSupport::Crc32(bytes));

    ASSERT_TRUE(Drive({"settings " + ComName}));
    window = std::make_unique<TChildProcess>(
        std::vector<std::string>{WINE_PROGRAM, home + "/Vell Writer/VellWriter.exe"},
        windowEnvironment,
        TChildStreams{.outputFile = home + "/window.log", .errorToOutput = true});
    ASSERT_TRUE(Drive({"click 1", "wait 0 Correctly open port " + ComName, "lamp 5 off"}));
    // Switched on, the receiver raises DSR and RLSD and asks; the window answers and holds it
    // in its loader. (The receiver then drops DSR while the window is still answering, between
    // two event waits, where Wine does not see it: Wine starts each wait from the lines as they
    // are. So only RLSD is looked at.)
    ASSERT_TRUE(simulator->Write("on\n"));
    ASSERT_TRUE(Drive({"wait 0 Now your receiver is freeze", "lamp 5 on", "click 3",
                       "open " + WindowsPath(image),
                       "wait 0 Ready to load flash with file " + WindowsPath(image), "click 16",
                       "answer Attention Yes", "wait 0 Sending flash updating string...",
                       "wait 0 Now your receiver can start a new download...", "close"}));
    EXPECT_EQ(window->WaitExit(20s), 0)
        << "VellWriter.exe did not end after its window closed: " << ReadFile(home + "/window.log");

    const std::string transcript = ReadFile(home + "/simulator.log");
    EXPECT_NE(transcript.find("02 43 30 34 32 2C 35 03"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("image received: size=524288 crc32=0x" + std::string(crc)),
              std::string::npos)
        << transcript;
    // The stand-in's side: minimised, clicked inside its input, the path pasted, closed.
    const std::vector<std::string> record = ReadLines(home + "/record");
    const auto has = [&](const std::string& line, bool whole = true) {
        return std::any_of(record.begin(), record.end(), [&](const std::string& seen) {
            return whole ? seen == line : seen.rfind(line, 0) == 0;
        });
    };
    ASSERT_GE(record.size(), 6u) << ReadFile(home + "/record");
    EXPECT_TRUE(has("shown minimised") || has("minimised")) << ReadFile(home + "/record");
    EXPECT_TRUE(has("click ", false)) << ReadFile(home + "/record");
    EXPECT_TRUE(has("paste " + WindowsPath(image))) << ReadFile(home + "/record");
    EXPECT_TRUE(has("delivered 524288 " + std::string(crc))) << ReadFile(home + "/record");
    EXPECT_EQ(record.back(), "close");
}

} // namespace
