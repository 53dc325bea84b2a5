// The Windows serial layer under Wine, driven from Linux: the serial unit tests built for
// Windows (64-bit and 32-bit), and the port on a Wine COM port that is a pseudo-terminal made
// and served here (the Windows side is WineComPortTest.cpp). Each test holds a Wine session of
// its own on the build folder's one prefix. Skipped where Wine or the Windows build is missing.
#include "tests/support/ModemLines.h"
#include "tests/support/PtyPair.h"
#include "tests/support/WineRun.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <termios.h>
#include <vector>

namespace fs = std::filesystem;
using namespace WineTest;

namespace {

// The COM port the test maps, through a link of its own that it points at its terminal: Wine
// links the port to the link once, and no restart is needed for the next terminal.
constexpr int ComNumber = 5;
const std::string ComLink = TWineSession::Prefix() + "-com5";

// The terminal's settings in the words of the Windows side's "check" line.
std::string Describe(int master) {
    termios t{};
    if (tcgetattr(master, &t) != 0)
        return "tcgetattr failed";
    const struct {
        speed_t code;
        int rate;
    } rates[] = {{B9600, 9600}, {B19200, 19200}, {B57600, 57600}, {B115200, 115200}};
    int rate = 0;
    for (const auto& r : rates)
        if (cfgetospeed(&t) == r.code)
            rate = r.rate;
    const tcflag_t size = t.c_cflag & CSIZE;
    const int bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    const char* flow = (t.c_cflag & CRTSCTS)          ? "rtscts"
                       : (t.c_iflag & (IXON | IXOFF)) ? "xonxoff"
                                                      : "none";
    std::ostringstream text;
    text << rate << ' ' << bits << parity << ((t.c_cflag & CSTOPB) ? 2 : 1) << ' ' << flow;
    return text.str();
}

std::string WindowsProgram(const char* arch, const char* name) {
    return TWineSession::Program(arch, std::string("serial/") + name);
}

} // namespace

TEST(WineSerial, UnitTests64) {
    const std::string program = WindowsProgram("x86_64", "serial_tests.exe");
    REQUIRE_WINE(program);
    const TWineSession session;
    ExpectPassed(RunUnderWine(session, program, {}));
}

TEST(WineSerial, UnitTests32) {
    const std::string program = WindowsProgram("i686", "serial_tests.exe");
    REQUIRE_WINE(program);
    const TWineSession session;
    ExpectPassed(RunUnderWine(session, program, {}));
}

namespace {

// With `lines`, Wine's Linux side gets the modem-line library preloaded and the far end's DSR
// and RLSD are switched on request; the library is 64-bit, so only a 64-bit Wine loads it.
void ComPortOnAPseudoTerminal(const char* arch, bool lines = false) {
    const std::string program = WindowsProgram(arch, "wine_com_tests.exe");
    REQUIRE_WINE(program);
    TPtyPair terminal;
    std::unique_ptr<ModemLines::TModemLines> modem;
    // Without lines the case that needs them is left out, rather than reported skipped.
    TEnvironment environment = {{"VELL_WINE_COM", "COM" + std::to_string(ComNumber)},
                                {"GTEST_FILTER", "-*EmulatedLines"}};
    const std::string staged = ComLink + ".new";
    fs::remove(staged);
    fs::create_symlink(terminal.Path(), staged);
    fs::rename(staged, ComLink);
    // Before the session: mapping the port restarts the prefix's server.
    ASSERT_TRUE(Run(
        {WINE_PREFIX_SCRIPT, TWineSession::Prefix(), "--com", std::to_string(ComNumber), ComLink},
        {}, 300s, "/dev/null"))
        << "COM" << ComNumber << " could not be mapped";
    const TWineSession session;
    if (lines) {
        const std::string folder = session.Folder() + "/lines";
        fs::create_directory(folder);
        modem = std::make_unique<ModemLines::TModemLines>(terminal.Path(), folder);
        environment["LD_PRELOAD"] = MODEM_LINES_LIBRARY;
        environment[ModemLines::kFolderVariable] = folder;
        environment["VELL_WINE_LINES"] = "1";
        environment["GTEST_FILTER"] = "*EmulatedLines"; // the others are for a line without
    }

    std::vector<std::string> checks;
    const std::pair<const char*, int> switches[] = {{"dsr ", TIOCM_DSR},
                                                    {"rlsd ", TIOCM_CD}}; // "dsr on", "rlsd off"
    const auto serve = [&](const std::string& line) {
        std::string answer;
        if (line.rfind("check ", 0) == 0) {
            const std::string seen = Describe(terminal.Master());
            checks.push_back(line.substr(6) + " / " + seen);
            answer = seen == line.substr(6) ? "ok\n" : "bad " + seen + "\n";
        } else if (line.rfind("send ", 0) == 0) {
            const size_t count =
                std::min<size_t>(std::strtoul(line.c_str() + 5, nullptr, 10), 64 * 1024);
            for (size_t i = 0; i < count; ++i)
                answer += char(i % 251);
        }
        for (const auto& [name, signal] : switches)
            if (modem && line.rfind(name, 0) == 0)
                modem->Set(signal, line.substr(std::strlen(name)) == "on");
        size_t done = 0;
        while (done < answer.size()) {
            const ssize_t n = write(terminal.Master(), answer.data() + done, answer.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (errno == EAGAIN) {
                pollfd room{terminal.Master(), POLLOUT, 0}; // the reader is behind
                if (poll(&room, 1, 10000) <= 0)
                    break;
            } else if (errno != EINTR) {
                break;
            }
        }
    };
    const TWineRun run = RunUnderWine(session, program, environment, &terminal, serve);
    fs::remove(ComLink); // nothing of ours behind COM5 until the next run
    ExpectPassed(run);
    if (!lines) {
        EXPECT_EQ(checks, (std::vector<std::string>{"19200 8N1 rtscts / 19200 8N1 rtscts",
                                                    "9600 8N2 xonxoff / 9600 8N2 xonxoff"}));
    }
}

} // namespace

TEST(WineSerial, ComPortOnAPseudoTerminal64) {
    ComPortOnAPseudoTerminal("x86_64");
}
TEST(WineSerial, ComPortOnAPseudoTerminal32) {
    ComPortOnAPseudoTerminal("i686");
}
TEST(WineSerial, ComPortWithModemLines64) {
    ComPortOnAPseudoTerminal("x86_64", true);
}
