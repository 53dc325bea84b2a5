// receiver-sim: plays the satellite receiver on a pseudo-terminal published as a virtual port,
// so a whole write can be rehearsed, and the program tested, with no receiver on the desk.

#include "tools/receiver-sim/Console.h"
#include "tools/receiver-sim/Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

int g_stopFd = -1;

void OnStopSignal(int) {
    const char byte = 's';
    // Nothing to do if the pipe is full: a stop is already on its way.
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopFd, &byte, 1);
}

const char* Usage() {
    return "Usage: receiver-sim [options]\n"
           "\n"
           "Plays the receiver on a pseudo-terminal published as the virtual port NAME, in\n"
           "$XDG_RUNTIME_DIR/vell-writer/ports/ (or /tmp/vell-writer-<uid>/ports/), where Vell\n"
           "Writer lists it. The memory image comes over the Unix socket NAME.transfer beside\n"
           "the port: \"IMAGE <size>\\n\" then the bytes; the answer is \"OK <size>\\n\". A\n"
           "Windows transfer program under Wine comes over loopback TCP instead: NAME.tcp\n"
           "(mode 0600) holds \"<tcp port> <secret>\", and the client first sends\n"
           "\"SECRET <secret>\\n\".\n"
           "\n"
           "With --lpt, a FIFO NAME.lpt (mode 0600) beside the port plays the parallel cable:\n"
           "after a write command, the bytes a writer sends until it closes are the image.\n"
           "\n"
           "A pseudo-terminal carries no modem lines (DSR, RLSD, CTS, RING): the program's\n"
           "lamps stay off, and it sees the receiver switched on only by its start string.\n"
           "With the tests' emulated lines (VELL_MODEM_LINES names their folder), DSR and\n"
           "RLSD follow the power: both on when on, RLSD alone when frozen, none when off.\n"
           "\n"
           "Options:\n"
           "  --name NAME            port name (default recv0)\n"
           "  --auto-on              switch the receiver on at start\n"
           "  --on-open MS           switch it on MS ms after a program opens the port\n"
           "  --script FILE          read the commands from FILE (\"-\": standard input); the\n"
           "                         simulator ends with the script\n"
           "  --expect-timeout MS    how long a script's expect waits (default 10000)\n"
           "  --step MS              pause between a run's text lines (default 300)\n"
           "  --client-timeout MS    how long a transfer client may take for its header, or stay\n"
           "                         silent during its image, before it is dropped (default "
           "10000)\n"
           "  --lpt                  also take the image from the FIFO NAME.lpt\n"
           "  --log FILE             also write everything shown to FILE\n"
           "  --help                 this text\n"
           "\n"
           "Exit codes: 0 done, 1 a script's expect timed out, 2 bad usage, script or start-up.\n"
           "\n";
}

bool ParseMs(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

int BadUsage(const std::string& message) {
    std::fprintf(stderr, "receiver-sim: %s\n(see --help)\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    ReceiverSim::TSimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage(), stdout);
            std::fputs(ReceiverSim::ConsoleHelp(), stdout);
            return 0;
        }
        if (arg == "--auto-on") {
            options.AutoOn = true;
        } else if (arg == "--lpt") {
            options.Lpt = true;
        } else if (arg == "--on-open" && hasValue) {
            if (!ParseMs(argv[++i], 0, 60000, options.OnOpenMs))
                return BadUsage("--on-open takes milliseconds up to 60000");
        } else if (arg == "--name" && hasValue) {
            options.Name = argv[++i];
        } else if (arg == "--script" && hasValue) {
            options.Script = true;
            options.ScriptPath = argv[++i];
        } else if (arg == "--log" && hasValue) {
            options.LogPath = argv[++i];
        } else if (arg == "--expect-timeout" && hasValue) {
            if (!ParseMs(argv[++i], 1, ReceiverSim::kMaxWaitMs, options.ExpectTimeoutMs))
                return BadUsage("--expect-timeout takes milliseconds");
        } else if (arg == "--client-timeout" && hasValue) {
            if (!ParseMs(argv[++i], 1, ReceiverSim::kMaxWaitMs, options.ClientPatienceMs))
                return BadUsage("--client-timeout takes milliseconds");
        } else if (arg == "--step" && hasValue) {
            if (!ParseMs(argv[++i], 0, 60000, options.StepMs))
                return BadUsage("--step takes milliseconds up to 60000");
        } else {
            return BadUsage("unknown option or missing value: " + arg);
        }
    }

    // A transfer client that hangs up must not end the simulator.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        ReceiverSim::TSimulator simulator(options);
        g_stopFd = simulator.StopFd();
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        simulator.Start();
        return simulator.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "receiver-sim: %s\n", error.what());
        return 2;
    }
}
