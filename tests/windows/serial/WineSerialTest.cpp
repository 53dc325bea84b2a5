// The Windows serial layer under Wine, driven from Linux: the serial unit tests built for
// Windows (64-bit and 32-bit), and the port on a Wine COM port that is a pseudo-terminal made
// and served here (the Windows side is WineComPortTest.cpp). Skipped where Wine or the Windows
// build is missing. The prefix (scripts/wine-prefix.sh) is made once in the build folder.
#include "PtyPair.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string Prefix = VELL_WINE_PREFIX;
const std::string PrefixScript = VELL_WINE_PREFIX_SCRIPT;
const std::string WindowsBuild = VELL_WINDOWS_BUILD; // holds windows-<arch>/
// The COM port the test maps, through a link of its own that it points at its terminal: Wine
// links the port to the link once, and no restart is needed for the next terminal.
constexpr int ComNumber = 5;
const std::string ComLink = Prefix + "-com5";

std::string Shell(const std::string& text) {
    return "'" + text + "'";
}

bool WineInstalled() {
    return std::system("command -v wine >/dev/null 2>&1") == 0;
}

// Skips unless Wine and the Windows program are there, and makes sure of the prefix.
#define REQUIRE_WINE(program)                                                                      \
    do {                                                                                           \
        if (!WineInstalled())                                                                      \
            GTEST_SKIP() << "Wine is not installed";                                               \
        if (!fs::exists(program))                                                                  \
            GTEST_SKIP() << program << " was not built (mingw-w64 missing?)";                      \
        const int status = std::system((Shell(PrefixScript) + " " + Shell(Prefix)).c_str());       \
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77)                                        \
            GTEST_SKIP() << "Wine is not installed";                                               \
        ASSERT_EQ(status, 0) << "the Wine prefix could not be made";                               \
    } while (0)

// One Windows program under Wine: its output, and the lines it writes to the terminal handed to
// `serve`, until it ends. A program that outlives `seconds` is killed and fails the test. The
// output goes through a file: the Wine server and services the program starts inherit it and
// may hold it open after the program has ended.
struct TWineRun {
    int status = -1;
    std::string output;
};

TWineRun RunUnderWine(const std::string& program, const std::vector<std::string>& environment,
                      TPtyPair* terminal = nullptr,
                      const std::function<void(const std::string&)>& serve = nullptr,
                      int seconds = 120) {
    TWineRun run;
    FILE* output = std::tmpfile();
    if (output == nullptr)
        return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(fileno(output), 1);
        dup2(fileno(output), 2);
        setenv("WINEPREFIX", Prefix.c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
        unsetenv("DISPLAY");
        for (const std::string& variable : environment)
            putenv(const_cast<char*>(variable.c_str()));
        execlp("wine", "wine", program.c_str(), "--gtest_brief=1", nullptr);
        _exit(127);
    }
    const int ended = int(syscall(SYS_pidfd_open, child, 0)); // readable once the child ends
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(child, SIGKILL);
            run.output = "[killed: still running after " + std::to_string(seconds) + " s]\n";
            break;
        }
        pollfd sources[2] = {{ended, POLLIN, 0}, {terminal ? terminal->Master() : -1, POLLIN, 0}};
        if (poll(sources, 2, int(left.count())) <= 0)
            continue;
        if (sources[1].revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = read(terminal->Master(), buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    if (line.size() < 256)
                        line += buffer[i];
                    continue;
                }
                serve(line);
                line.clear();
            }
        }
        if (sources[0].revents != 0)
            break;
    }
    waitpid(child, &run.status, 0);
    if (ended >= 0)
        close(ended);
    std::rewind(output);
    char buffer[4096];
    for (size_t n;
         (n = std::fread(buffer, 1, sizeof buffer, output)) > 0 && run.output.size() < 1 << 20;)
        run.output.append(buffer, n);
    std::fclose(output);
    return run;
}

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
    return WindowsBuild + "/windows-" + arch + "/serial/" + name;
}

void ExpectPassed(const TWineRun& run) {
    const bool passed = WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
    EXPECT_TRUE(passed) << run.output;
    if (passed)
        std::printf("%s", run.output.c_str());
}

void StopWine() {
    std::system((Shell(PrefixScript) + " " + Shell(Prefix) + " --stop").c_str());
}

} // namespace

TEST(WineSerial, UnitTests64) {
    const std::string program = WindowsProgram("x86_64", "serial_tests.exe");
    REQUIRE_WINE(program);
    ExpectPassed(RunUnderWine(program, {}));
    StopWine();
}

TEST(WineSerial, UnitTests32) {
    const std::string program = WindowsProgram("i686", "serial_tests.exe");
    REQUIRE_WINE(program);
    ExpectPassed(RunUnderWine(program, {}));
    StopWine();
}

namespace {

void ComPortOnAPseudoTerminal(const char* arch) {
    const std::string program = WindowsProgram(arch, "wine_com_tests.exe");
    REQUIRE_WINE(program);
    TPtyPair terminal;
    const std::string staged = ComLink + ".new";
    fs::remove(staged);
    fs::create_symlink(terminal.Path(), staged);
    fs::rename(staged, ComLink);
    ASSERT_EQ(std::system((Shell(PrefixScript) + " " + Shell(Prefix) + " --com " +
                           std::to_string(ComNumber) + " " + Shell(ComLink))
                              .c_str()),
              0);

    std::vector<std::string> checks;
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
    const TWineRun run =
        RunUnderWine(program, {"VELL_WINE_COM=COM" + std::to_string(ComNumber)}, &terminal, serve);
    fs::remove(ComLink); // nothing of ours behind COM5 until the next run
    StopWine();
    ExpectPassed(run);
    EXPECT_EQ(checks, (std::vector<std::string>{"19200 8N1 rtscts / 19200 8N1 rtscts",
                                                "9600 8N2 xonxoff / 9600 8N2 xonxoff"}));
}

} // namespace

TEST(WineSerial, ComPortOnAPseudoTerminal64) {
    ComPortOnAPseudoTerminal("x86_64");
}
TEST(WineSerial, ComPortOnAPseudoTerminal32) {
    ComPortOnAPseudoTerminal("i686");
}
