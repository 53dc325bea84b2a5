#pragma once
// One Wine session for a whole test binary, as the Linux program would hold one: a virtual X
// screen of its own (Xvfb picks a free display), the Wine prefix of this build folder (made
// once and kept), one wineserver started at the beginning and ended at the end, and window
// bridges spoken to over their standard input and output. Every wait is bounded.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace WineTest {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
// A cold Wine start on a loaded two-core machine takes seconds; only a failure waits this long.
constexpr auto kPatience = 30s;

using TEnvironment = std::map<std::string, std::string>;

// A child process with, optionally, pipes to its standard input and from its standard output.
class TChild {
public:
    TChild(const std::vector<std::string>& args, const TEnvironment& overrides, bool pipes,
           const std::string& output = "/dev/null") {
        int input[2] = {-1, -1};
        int answers[2] = {-1, -1};
        if (pipes && (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0))
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (pipes) {
            posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
            posix_spawn_file_actions_adddup2(&actions, answers[1], STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0600);
        }
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

        std::vector<std::string> argStrings = args;
        std::vector<char*> argv;
        for (std::string& arg : argStrings)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        TEnvironment all;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            const size_t equals = text.find('=');
            if (equals != std::string::npos)
                all[text.substr(0, equals)] = text.substr(equals + 1);
        }
        for (const auto& [name, value] : overrides)
            all[name] = value;
        std::vector<std::string> envStrings;
        for (const auto& [name, value] : all)
            envStrings.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& entry : envStrings)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        const int error =
            ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (pipes) {
            ::close(input[0]);
            ::close(answers[1]);
            m_input = input[1];
            m_output = answers[0];
        }
        if (error != 0)
            throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(error));
    }
    ~TChild() {
        CloseInput();
        if (m_output >= 0)
            ::close(m_output);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    void Write(const std::string& text) {
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::write(m_input, text.data() + sent, text.size() - sent);
            if (n <= 0)
                throw std::runtime_error("the child no longer reads its input");
            sent += size_t(n);
        }
    }
    void CloseInput() {
        if (m_input >= 0)
            ::close(m_input);
        m_input = -1;
    }
    // The next line of its output without the line feed; none on a time-out or at its end.
    std::optional<std::string> ReadLine(std::chrono::milliseconds patience = kPatience) {
        const auto deadline = TClock::now() + patience;
        size_t end;
        while ((end = m_got.find('\n')) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
            pollfd ready{m_output, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
                return std::nullopt;
            char buffer[4096];
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n <= 0)
                return std::nullopt;
            m_got.append(buffer, size_t(n));
        }
        std::string line = m_got.substr(0, end);
        m_got.erase(0, end + 1);
        return line;
    }
    // Whether its output has ended (every holder of the pipe's write end has let go).
    bool OutputEnds(std::chrono::milliseconds patience) {
        pollfd ready{m_output, POLLIN, 0};
        char byte;
        return ::poll(&ready, 1, int(patience.count())) == 1 && ::read(m_output, &byte, 1) == 0;
    }
    // The exit code; -1 if it did not end in time (it is then killed) or ended by a signal.
    int WaitExit(std::chrono::milliseconds patience = kPatience) {
        const auto deadline = TClock::now() + patience;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (TClock::now() >= deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_got;
};

// A Windows path for a file of this machine, as Wine's Z: drive shows it.
inline std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs a command to its end; false when it fails or outlasts its patience.
inline bool Run(const std::vector<std::string>& args, const TEnvironment& environment,
                std::chrono::milliseconds patience, const std::string& log) {
    TChild child(args, environment, false, log);
    return child.WaitExit(patience) == 0;
}

class TWineSession {
public:
    // Why the session cannot be had (Wine or the Windows build missing); empty when it can.
    static std::string Missing() {
        for (const char* path : {WINE_PROGRAM, WINESERVER_PROGRAM, XVFB_PROGRAM})
            if (path[0] == '\0' || ::access(path, X_OK) != 0)
                return "Wine (wine, wine32) and Xvfb are needed (scripts/setup.sh)";
        for (const std::string& file : {BridgeProgram("i686"), BridgeProgram("x86_64"),
                                        StandInProgram("i686"), StandInProgram("x86_64")})
            if (::access(file.c_str(), R_OK) != 0)
                return "the Windows forms are not built (mingw-w64 is needed): " + file;
        return {};
    }
    static std::string BridgeProgram(const std::string& arch) {
        return std::string(WINDOWS_BUILD) + "-" + arch + "/window-bridge/window-bridge.exe";
    }
    static std::string StandInProgram(const std::string& arch) {
        return std::string(WINDOWS_BUILD) + "-" + arch + "/transfer-win/Vell_par.exe";
    }

    TWineSession() {
        char folder[] = "/tmp/wine-window-test-XXXXXX";
        if (::mkdtemp(folder) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_folder = folder;
        m_log = m_folder + "/wine.log";
        StartScreen();
        m_environment = {{"WINEPREFIX", WINE_PREFIX},
                         {"WINEDEBUG", "-all"},
                         // No Mono or Gecko installer dialogs in a new prefix.
                         {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                         {"DISPLAY", ":" + m_display}};
        MakePrefix();
        m_server = std::make_unique<TChild>(
            std::vector<std::string>{WINESERVER_PROGRAM, "-p", "-f"}, m_environment, false, m_log);
    }
    ~TWineSession() {
        Run({WINESERVER_PROGRAM, "-k"}, m_environment, 10s, m_log);
        m_server.reset();
        m_screen.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    const std::string& Folder() const { return m_folder; }
    // The environment of a Wine program of this session, with `more` on top.
    TEnvironment Environment(const TEnvironment& more = {}) const {
        TEnvironment all = m_environment;
        for (const auto& [name, value] : more)
            all[name] = value;
        return all;
    }

private:
    void StartScreen() {
        int numbers[2];
        if (::pipe(numbers) != 0)
            throw std::runtime_error("pipe failed");
        // The write end stays open in Xvfb only: it writes the display number there.
        m_screen = std::make_unique<TChild>(
            std::vector<std::string>{XVFB_PROGRAM, "-displayfd", std::to_string(numbers[1]),
                                     "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
            TEnvironment{}, false, m_folder + "/xvfb.log");
        ::close(numbers[1]);
        pollfd ready{numbers[0], POLLIN, 0};
        char text[16] = {};
        if (::poll(&ready, 1, 10000) == 1) [[maybe_unused]]
            const ssize_t n = ::read(numbers[0], text, sizeof text - 1);
        ::close(numbers[0]);
        m_display = std::string(text, std::strcspn(text, "\n"));
        if (m_display.empty())
            throw std::runtime_error("Xvfb gave no display");
    }

    // Made once per build folder: a new prefix costs half a minute. Windows are not managed:
    // with no window manager on the virtual screen, Wine would otherwise wait two seconds for
    // one at every window it destroys.
    void MakePrefix() {
        const std::string ready = std::string(WINE_PREFIX) + "/.vell-window-ready";
        if (::access(ready.c_str(), F_OK) == 0)
            return;
        if (!Run({WINE_PROGRAM, "wineboot", "-i"}, m_environment, 180s, m_log) ||
            !Run({WINE_PROGRAM, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                  "/d", "N", "/f"},
                 m_environment, 60s, m_log) ||
            !Run({WINESERVER_PROGRAM, "-w"}, m_environment, 60s, m_log))
            throw std::runtime_error("cannot make the Wine prefix " + std::string(WINE_PREFIX) +
                                     ": " + ReadFile(m_log));
        std::ofstream(ready) << "made by wine_window_tests\n";
    }

    std::string m_folder;
    std::string m_log;
    std::string m_display;
    TEnvironment m_environment;
    std::unique_ptr<TChild> m_screen;
    std::unique_ptr<TChild> m_server;
};

} // namespace WineTest
