#pragma once
// One Wine session, as every Wine test holds it: the one Wine prefix of this build folder (made
// once per run by the WinePrefix test, scripts/wine-prefix.sh; its COM ports never lead to this
// machine's serial devices), the one environment of Wine programs, a virtual X screen of its
// own (Xvfb picks a free display) so that no window reaches the user's screen, and one
// wineserver started at the beginning and ended at the end. Every wait is bounded. Tests that
// share the prefix run one at a time (their CTest resource lock), as they share its server.
// Use a session from one thread.

#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace WineTest {

using namespace std::chrono_literals;
using TestSupport::ReadFile;
using TestSupport::ReadLines;
using TestSupport::TChildProcess;
using TestSupport::TChildStreams;
using TestSupport::TEnvironment;
// A cold Wine start on a loaded two-core machine takes seconds; only a failure waits this long.
inline constexpr std::chrono::milliseconds kPatience = 30s;

// A Windows path for a file of this machine, as Wine's Z: drive shows it.
inline std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Runs a command to its end, its output appended to `log`; false when it fails or outlasts
// its patience.
inline bool Run(const std::vector<std::string>& args, const TEnvironment& environment,
                std::chrono::milliseconds patience, const std::string& log) {
    TChildProcess child(args, environment, {.outputFile = log, .errorToOutput = true});
    return child.WaitExit(patience) == 0;
}

class TWineSession {
public:
    // Why the session cannot be had (Wine, Xvfb or one of `programs` missing); empty when it can.
    static std::string Missing(const std::vector<std::string>& programs) {
        for (const char* path : {WINE_PROGRAM, WINESERVER_PROGRAM, XVFB_PROGRAM})
            if (path[0] == '\0' || ::access(path, X_OK) != 0)
                return "Wine (wine, wine32) and Xvfb are needed (scripts/setup.sh)";
        for (const std::string& file : programs)
            if (::access(file.c_str(), R_OK) != 0)
                return "the Windows forms are not built (mingw-w64 is needed): " + file;
        return {};
    }
    // A Windows program of the build, of `arch` ("x86_64" or "i686"), by its place there.
    static std::string Program(const std::string& arch, const std::string& place) {
        return std::string(WINDOWS_BUILD) + "-" + arch + "/" + place;
    }
    static std::string BridgeProgram(const std::string& arch) {
        return Program(arch, "window-bridge/window-bridge.exe");
    }
    static std::string StandInProgram(const std::string& arch) {
        return Program(arch, "transfer-win/Vell_par.exe");
    }
    // What the tests of windows need: both bridges and both stand-ins.
    static std::vector<std::string> WindowPrograms() {
        return {BridgeProgram("i686"), BridgeProgram("x86_64"), StandInProgram("i686"),
                StandInProgram("x86_64")};
    }
    static std::string Prefix() { return WINE_PREFIX; }

    // A session on the build folder's one prefix; or on another prefix of the build folder,
    // made once and set at every start by the prefix script with `options` (as "--lpt PATH").
    explicit TWineSession(std::string prefix = WINE_PREFIX, std::vector<std::string> options = {})
        : m_prefix(std::move(prefix)), m_options(std::move(options)) {
        char folder[] = "/tmp/wine-test-XXXXXX";
        if (::mkdtemp(folder) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_folder = folder;
        m_log = m_folder + "/wine.log";
        MakePrefix();
        StartScreen();
        m_server = std::make_unique<TChildProcess>(
            std::vector<std::string>{WINESERVER_PROGRAM, "-p", "-f"}, Environment(),
            TChildStreams{.outputFile = m_log});
    }
    ~TWineSession() {
        Run({WINESERVER_PROGRAM, "-k"}, Environment(), 10s, m_log);
        m_server.reset();
        m_screen.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    TWineSession(const TWineSession&) = delete;
    TWineSession& operator=(const TWineSession&) = delete;

    // A folder of the session's own, removed with it.
    const std::string& Folder() const { return m_folder; }
    // The environment of a Wine program of this session, with `more` on top: the one place
    // that says how the tests run Wine.
    TEnvironment Environment(const TEnvironment& more = {}) const {
        TEnvironment all = {{"WINEPREFIX", m_prefix},
                            {"WINEDEBUG", "-all"},
                            // No Mono or Gecko installer dialogs, no desktop menu entries.
                            {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"},
                            {"DISPLAY", ":" + m_display},
                            {"WAYLAND_DISPLAY", std::nullopt}};
        for (const auto& [name, value] : more)
            all[name] = value;
        return all;
    }

private:
    // Normally made already by the run's WinePrefix test; made here when a test binary runs on
    // its own.
    // With options the script always runs: it starts no Wine when they change nothing.
    void MakePrefix() {
        if (m_options.empty() && std::filesystem::exists(m_prefix + "/.vell-unmanaged"))
            return;
        std::vector<std::string> command = {WINE_PREFIX_SCRIPT, m_prefix};
        command.insert(command.end(), m_options.begin(), m_options.end());
        if (!Run(command, {}, 400s, m_log))
            throw std::runtime_error("cannot make the Wine prefix " + m_prefix + ": " +
                                     ReadFile(m_log));
    }

    // A loaded machine may start Xvfb slowly, and one that loses a display to another Xvfb
    // starting at the same moment gives up: it is given its patience, and tried again.
    void StartScreen() {
        for (int attempt = 0; attempt < 3 && m_display.empty(); ++attempt)
            m_display = TryScreen();
        if (m_display.empty())
            throw std::runtime_error("Xvfb gave no display: " + ReadFile(m_folder + "/xvfb.log"));
    }

    // The display number Xvfb writes once it serves it; empty when it does not.
    std::string TryScreen() {
        int numbers[2];
        if (::pipe(numbers) != 0)
            throw std::runtime_error("pipe failed");
        // The write end stays open in Xvfb only: it writes the display number there.
        m_screen = std::make_unique<TChildProcess>(
            std::vector<std::string>{XVFB_PROGRAM, "-displayfd", std::to_string(numbers[1]),
                                     "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
            TEnvironment{},
            TChildStreams{.outputFile = m_folder + "/xvfb.log", .errorToOutput = true});
        ::close(numbers[1]);
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (text.find('\n') == std::string::npos && text.size() < 16) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{numbers[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&ready, 1, int(left.count())) <= 0)
                break;
            char part[16];
            const ssize_t n = ::read(numbers[0], part, sizeof part);
            if (n <= 0)
                break; // Xvfb ended
            text.append(part, size_t(n));
        }
        ::close(numbers[0]);
        if (text.find('\n') == std::string::npos) {
            m_screen.reset();
            return {};
        }
        return text.substr(0, text.find('\n'));
    }

    std::string m_prefix;
    std::vector<std::string> m_options;
    std::string m_folder;
    std::string m_log;
    std::string m_display;
    std::unique_ptr<TChildProcess> m_screen;
    std::unique_ptr<TChildProcess> m_server;
};

} // namespace WineTest
