#include "tools/receiver-sim/Simulator.h"

#include "serial/platform/TrustedFolder.h"
#include "tools/receiver-sim/Console.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ReceiverSim {

namespace {

// What an expect can still find: enough for any dialogue, bounded against a flooding port.
constexpr size_t kMaxHeard = 64 * 1024;
// Lines typed ahead while a wait or expect holds the commands; past this the console is left
// unread until they are done.
constexpr size_t kMaxQueuedLines = 64;
constexpr size_t kMaxLineLength = 1024;
constexpr std::streamsize kMaxScriptSize = 1024 * 1024;
// Clients still to send their header (and secret): a transfer program sends both with its
// first write. Past the limit the oldest is dropped.
constexpr size_t kMaxPendingClients = 8;
// How often the console tells how much has come over the parallel cable.
constexpr uint64_t kLptProgressStep = 256 * 1024;

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string ImageText(uint64_t size, uint32_t crc) {
    return "size=" + std::to_string(size) + " crc32=" + Hex32(crc);
}

} // namespace

TSimulator::TSimulator(TSimOptions options) : m_options(std::move(options)) {
    if (::pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (!m_options.LogPath.empty()) {
        m_log = std::fopen(m_options.LogPath.c_str(), "w");
        if (m_log == nullptr)
            throw std::runtime_error("cannot write " + m_options.LogPath + ": " +
                                     std::strerror(errno));
    }
    if (m_options.Script && m_options.ScriptPath != "-") {
        std::ifstream script(m_options.ScriptPath, std::ios::binary);
        if (!script)
            throw std::runtime_error("cannot read script " + m_options.ScriptPath);
        std::string text(static_cast<size_t>(kMaxScriptSize) + 1, '\0');
        script.read(text.data(), kMaxScriptSize + 1);
        if (script.gcount() > kMaxScriptSize)
            throw std::runtime_error("script " + m_options.ScriptPath + " is over 1 MiB");
        text.resize(static_cast<size_t>(script.gcount()));
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            m_lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        m_consoleEnded = true;
    } else {
        m_consoleFd = STDIN_FILENO;
    }
}

TSimulator::~TSimulator() {
    Cleanup();
    for (int fd : m_stopPipe)
        if (fd >= 0)
            ::close(fd);
    if (m_log != nullptr)
        std::fclose(m_log);
}

void TSimulator::Start() {
    if (!IsValidPortName(m_options.Name))
        throw std::runtime_error("bad port name \"" + m_options.Name +
                                 "\": letters, digits, '.', '_' and '-' only");
    const std::string folder = EnsurePortsFolder();
    const std::string linkPath = folder + "/" + m_options.Name;
    const std::string socketPath = linkPath + ".transfer";
    if (SocketAnswers(socketPath))
        throw std::runtime_error("another simulator already publishes \"" + m_options.Name +
                                 "\" (" + socketPath + " answers)");

    m_port = std::make_unique<TPseudoTerminal>();
    m_slavePath = m_port->SlavePath();
    m_modemLines = std::make_unique<TReceiverLines>(m_slavePath); // all down before it is published
    m_listener = ListenOnSocket(socketPath, m_socketInode);
    m_socketPath = socketPath;
    uint16_t tcpPort = 0;
    m_tcpListener = ListenOnLoopback(tcpPort);
    m_secret = MakeSecret();
    PublishTcpFile(linkPath + ".tcp", tcpPort, m_secret, m_tcpInode);
    m_tcpPath = linkPath + ".tcp";
    if (m_options.Lpt)
        m_lpt = std::make_unique<TLptEntry>(linkPath + ".lpt");
    // The link goes last: once a lister sees the port, its transfer socket already listens.
    PublishLink(linkPath, m_slavePath);
    m_linkPath = linkPath;

    Say("Receiver simulator: port \"" + m_options.Name + "\" is " + m_slavePath);
    Say("  link      " + m_linkPath);
    Say("  transfer  " + m_socketPath);
    Say("  tcp       127.0.0.1:" + std::to_string(tcpPort) + " (port and secret in " + m_tcpPath +
        ")");
    if (m_lpt)
        Say("  lpt       " + m_lpt->Path() + " (the image read after a write command)");
    if (m_modemLines->Folder().empty())
        Say("  A pseudo-terminal has no modem lines (DSR, RLSD, CTS, RING): the lamps stay off.");
    else
        Say("  Modem lines emulated in " + m_modemLines->Folder() +
            ": DSR and RLSD follow the power.");
    if (m_options.OnOpenMs >= 0) {
        // Opens of the device node itself, by any path: the program opens it through the link.
        m_opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_opens < 0 || ::inotify_add_watch(m_opens, m_slavePath.c_str(), IN_OPEN) < 0)
            throw std::runtime_error(std::string("cannot watch the port: ") + std::strerror(errno));
        Say("  The receiver is switched on " + std::to_string(m_options.OnOpenMs) +
            " ms after a program opens the port.");
    }
    if (m_options.AutoOn) {
        PowerOn();
    } else if (!m_options.Script) {
        Say("  The receiver is off: type \"on\" to switch it on, \"help\" for the commands.");
    }
}

int TSimulator::Run() {
    while (!m_quit) {
        if (m_powerOnAt && TClock::now() >= *m_powerOnAt) {
            m_powerOnAt.reset();
            PowerOn();
        }
        RunCommands();
        SendDue();
        ExpireClients();
        if (m_quit)
            break;
        if (m_options.Script && m_consoleEnded && m_lines.empty() && !Blocked() && !m_quit) {
            Say("end of script");
            m_quit = true;
        }
        // Blocked() may have ended a script whose expect timed out just now.
        if (m_quit)
            break;

        pollfd fds[8 + kMaxPendingClients];
        nfds_t count = 0;
        fds[count++] = {m_stopPipe[0], POLLIN, 0};
        const nfds_t portAt = PortOpen() ? count++ : 0;
        if (portAt != 0)
            fds[portAt] = {m_port->Master(), POLLIN, 0};
        const nfds_t listenerAt = m_listener >= 0 ? count++ : 0;
        if (listenerAt != 0)
            fds[listenerAt] = {m_listener, POLLIN, 0};
        const nfds_t clientAt = m_client >= 0 ? count++ : 0;
        if (clientAt != 0)
            fds[clientAt] = {m_client, POLLIN, 0};
        const bool readConsole = m_consoleFd >= 0 && m_lines.size() < kMaxQueuedLines;
        const nfds_t consoleAt = readConsole ? count++ : 0;
        if (consoleAt != 0)
            fds[consoleAt] = {m_consoleFd, POLLIN, 0};
        const nfds_t opensAt = m_opens >= 0 ? count++ : 0;
        if (opensAt != 0)
            fds[opensAt] = {m_opens, POLLIN, 0};
        const nfds_t tcpAt = m_tcpListener >= 0 ? count++ : 0;
        if (tcpAt != 0)
            fds[tcpAt] = {m_tcpListener, POLLIN, 0};
        // Only a write run that waits takes from the cable; till then a writer waits on it.
        const bool readLpt = m_lpt && m_phase == TPhase::WaitingImage && !m_image;
        const nfds_t lptAt = readLpt ? count++ : 0;
        if (lptAt != 0)
            fds[lptAt] = {m_lpt->Fd(), POLLIN, 0};
        const nfds_t pendingAt = count;
        for (const TPendingClient& pending : m_pending)
            fds[count++] = {pending.Fd, POLLIN, 0};

        if (::poll(fds, count, PollTimeout()) < 0) {
            if (errno == EINTR)
                continue;
            Say(std::string("poll failed: ") + std::strerror(errno));
            m_exitCode = 2;
            break;
        }
        if (fds[0].revents != 0) {
            Say("stop requested");
            break;
        }
        if (portAt != 0 && fds[portAt].revents != 0)
            ReadPort();
        if (listenerAt != 0 && fds[listenerAt].revents != 0)
            AcceptClient();
        if (clientAt != 0 && m_client >= 0 && fds[clientAt].revents != 0)
            ReadClient();
        if (consoleAt != 0 && fds[consoleAt].revents != 0)
            ReadConsole();
        if (opensAt != 0 && fds[opensAt].revents != 0)
            NoteOpened();
        if (lptAt != 0 && fds[lptAt].revents != 0)
            ReadLpt();
        // From the last, so that a client leaving the list does not shift the ones still due.
        for (size_t i = count - pendingAt; i-- > 0;)
            if (fds[pendingAt + i].revents != 0)
                ReadPendingClient(i);
        if (tcpAt != 0 && fds[tcpAt].revents != 0)
            AcceptTcpClient();
    }
    // What is due already still goes out ("on" then "quit" sends the start string); the paced
    // lines of a run do not hold up the exit.
    SendDue();
    Cleanup();
    return m_exitCode;
}

// ---------------------------------------------------------------------------------------------
// Console

void TSimulator::Say(const std::string& text) {
    const double seconds = std::chrono::duration<double>(TClock::now() - m_started).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.3f] ", seconds);
    size_t start = 0;
    do {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = stamp + text.substr(start, end - start) + "\n";
        std::fputs(line.c_str(), stdout);
        if (m_log != nullptr)
            std::fputs(line.c_str(), m_log);
        start = end + 1;
    } while (start < text.size());
    std::fflush(stdout);
    if (m_log != nullptr)
        std::fflush(m_log);
}

void TSimulator::ReadConsole() {
    char buffer[4096];
    const ssize_t count = ::read(m_consoleFd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        if (!m_partialLine.empty() && !m_discardingLine)
            m_lines.push_back(m_partialLine);
        m_partialLine.clear();
        m_consoleFd = -1;
        m_consoleEnded = true;
        if (!m_options.Script)
            Say("console closed: running until SIGINT or SIGTERM");
        return;
    }
    for (ssize_t i = 0; i < count; ++i) {
        const char c = buffer[i];
        if (c == '\n') {
            if (m_discardingLine)
                Say("! line over " + std::to_string(kMaxLineLength) + " characters ignored");
            else
                m_lines.push_back(m_partialLine);
            m_partialLine.clear();
            m_discardingLine = false;
        } else if (m_partialLine.size() >= kMaxLineLength) {
            m_partialLine.clear();
            m_discardingLine = true;
        } else if (!m_discardingLine) {
            m_partialLine.push_back(c);
        }
    }
}

bool TSimulator::Blocked() {
    const auto now = TClock::now();
    if (m_waitUntil) {
        if (now < *m_waitUntil)
            return true;
        m_waitUntil.reset();
    }
    if (m_expect) {
        const size_t at = m_heard.find(*m_expect);
        if (at != std::string::npos) {
            m_heard.erase(0, at + m_expect->size());
            Say("  expect met");
            m_expect.reset();
        } else if (now >= m_expectDeadline) {
            const std::string& expected = *m_expect;
            Say("! expect timed out after " + std::to_string(m_options.ExpectTimeoutMs) +
                " ms: " + HexDump(expected.data(), expected.size()));
            m_expect.reset();
            if (m_options.Script) {
                m_exitCode = 1;
                m_quit = true;
                return true;
            }
        } else {
            return true;
        }
    }
    return false;
}

void TSimulator::RunCommands() {
    while (!m_quit && !Blocked() && !m_lines.empty()) {
        const std::string line = m_lines.front();
        m_lines.pop_front();
        Execute(line);
    }
}

void TSimulator::Execute(const std::string& line) {
    const TCommand command = ParseCommand(line);
    using T = TCommand::TType;
    if (command.Type == T::None)
        return;
    Say("> " + line);
    switch (command.Type) {
    case T::None: break;
    case T::Invalid:
        Say("! " + command.Text);
        if (m_options.Script) {
            // A script is a test: a typo in it must fail the test, not be walked past.
            m_exitCode = 2;
            m_quit = true;
        }
        break;
    case T::Help: Say(ConsoleHelp()); break;
    case T::On: PowerOn(); break;
    case T::Off: PowerOff(); break;
    case T::Fail:
        m_failNext = true;
        Say("  the next write will fail");
        break;
    case T::Stall:
        m_stallNext = command.AfterDownload ? TStall::Download : TStall::Alloc;
        Say(command.AfterDownload ? "  the next run goes silent after \"Download started\""
                                  : "  the next run goes silent after its first line");
        break;
    case T::Garbage: {
        std::string bytes(static_cast<size_t>(command.Number), '\0');
        std::uniform_int_distribution<int> byte(0, 255);
        for (char& c : bytes)
            c = static_cast<char>(byte(m_random));
        Queue(std::move(bytes), 0);
        break;
    }
    case T::Split:
        m_splitNext = true;
        m_splitMs = command.Number;
        Say("  the next message goes out in two writes, " + std::to_string(m_splitMs) +
            " ms apart");
        break;
    case T::Vanish: Vanish(); break;
    case T::Status: Status(); break;
    case T::Quit: m_quit = true; break;
    case T::Wait: m_waitUntil = TClock::now() + std::chrono::milliseconds(command.Number); break;
    case T::Expect:
        m_expect = command.Text;
        m_expectDeadline = TClock::now() + std::chrono::milliseconds(m_options.ExpectTimeoutMs);
        break;
    }
}

void TSimulator::Status() {
    static const char* const phases[] = {"idle", "sending", "waiting for the image", "stalled"};
    std::string run = phases[static_cast<int>(m_phase)];
    if (m_phase != TPhase::Idle)
        run = std::string(RunName(m_runKind)) + " run " + run;
    Say(std::string("  port ") + (PortOpen() ? m_slavePath : "gone") + "; power " +
        (m_power ? "on" : "off") + "; " + (m_frozen ? "frozen" : "not frozen") + "; " + run);
    Say(std::string("  armed:") + (m_failNext ? " fail" : "") +
        (m_stallNext == TStall::Alloc      ? " stall"
         : m_stallNext == TStall::Download ? " stall-download"
                                           : "") +
        (m_splitNext ? " split" : "") +
        (!m_failNext && m_stallNext == TStall::None && !m_splitNext ? " nothing" : ""));
    Say(m_image ? "  image held: " + ImageText(m_image->Size, m_image->Crc)
                : std::string("  no image held"));
}

// ---------------------------------------------------------------------------------------------
// Receiver

void TSimulator::PowerOn() {
    if (!PortOpen()) {
        Say("  the port is gone: nothing to switch on");
        return;
    }
    Say(m_power ? "== power cycle: the receiver starts again" : "== power on");
    // A receiver starting up knows nothing of what came before: no freeze, no run, no image.
    m_power = true;
    m_frozen = false;
    m_modemLines->SwitchedOn();
    m_phase = TPhase::Idle;
    m_outbox.clear();
    m_scanner.Reset();
    m_image.reset();
    Queue(kStartString, 0);
}

void TSimulator::PowerOff() {
    Say("== power off");
    m_power = false;
    m_frozen = false;
    if (m_modemLines)
        m_modemLines->SwitchedOff();
    m_phase = TPhase::Idle;
    m_outbox.clear();
    m_scanner.Reset();
    m_image.reset();
}

void TSimulator::ReadPort() {
    char buffer[4096];
    const ssize_t count = ::read(m_port->Master(), buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (count <= 0) {
        // With the slave held open this does not happen; if it does, polling on would spin.
        Say(std::string("! the terminal failed: ") + (count < 0 ? std::strerror(errno) : "end"));
        Vanish();
        return;
    }
    const auto size = static_cast<size_t>(count);
    Say("<- port " + std::to_string(size) + " bytes: " + HexDump(buffer, size));
    m_heard.append(buffer, size);
    if (m_heard.size() > kMaxHeard)
        m_heard.erase(0, m_heard.size() - kMaxHeard);
    if (!m_power) {
        Say("  the receiver is off: no answer");
        return;
    }
    for (const TPortEvent& event : m_scanner.Feed(buffer, size))
        OnPortEvent(event);
}

void TSimulator::OnPortEvent(const TPortEvent& event) {
    using T = TPortEvent::TType;
    switch (event.Type) {
    case T::Freeze:
        if (m_phase != TPhase::Idle) {
            Say("  command strings during a run: ignored");
            return;
        }
        Say(m_frozen ? "== command strings again: acknowledged again"
                     : "== command strings: frozen in the loader");
        m_frozen = true;
        m_modemLines->Frozen();
        Queue(kFreezeAck, 0);
        return;
    case T::Run:
        if (!m_frozen) {
            Say(std::string("  ") + RunName(event.Kind) + " command while not frozen: ignored");
        } else if (m_phase != TPhase::Idle) {
            Say(std::string("  ") + RunName(event.Kind) + " command during a run: ignored");
        } else {
            StartRun(event.Kind);
        }
        return;
    case T::Unknown: Say("  unknown command \"" + event.Text + "\": ignored"); return;
    case T::StrayString2:
        Say("  " + kCommandString2 + " without " + kCommandString1 + " before it: ignored");
        return;
    }
}

void TSimulator::StartRun(TRunKind kind) {
    m_runKind = kind;
    const TStall stall = m_stallNext;
    m_stallNext = TStall::None;
    Say(std::string("== ") + RunName(kind) + (IsWrite(kind) ? " write" : " of FLASH and EEPROM"));
    if (!IsWrite(kind)) {
        const std::vector<TRunLine> lines = EraseLines();
        for (size_t i = 0; i < lines.size(); ++i) {
            Queue(lines[i].Text, i == 0 ? 0 : m_options.StepMs, lines[i].Last);
            if (stall != TStall::None) {
                m_phase = TPhase::Stalled;
                Say("  stalled: silent after that line (off or on to recover)");
                return;
            }
        }
        m_phase = TPhase::Sending;
        return;
    }
    Queue(AllocationLine(), 0);
    if (stall == TStall::Alloc) {
        m_phase = TPhase::Stalled;
        Say("  stalled: silent after that line (off or on to recover)");
        return;
    }
    m_phase = TPhase::WaitingImage;
    m_stallAfterDownload = stall == TStall::Download;
    if (!m_image)
        Say("  waiting for the image on " + m_socketPath + (m_lpt ? " or " + m_lpt->Path() : ""));
    ContinueRun();
}

void TSimulator::ContinueRun() {
    if (m_phase != TPhase::WaitingImage || !m_image)
        return;
    Say("  writing the image: " + ImageText(m_image->Size, m_image->Crc));
    m_image.reset();
    const std::vector<TRunLine> lines = DownloadLines(m_runKind, m_failNext);
    m_failNext = false;
    for (const TRunLine& line : lines) {
        Queue(line.Text, m_options.StepMs, line.Last);
        if (m_stallAfterDownload) {
            m_phase = TPhase::Stalled;
            Say("  stalled: silent after that line (off or on to recover)");
            return;
        }
    }
    m_phase = TPhase::Sending;
}

void TSimulator::Queue(std::string bytes, long delayMs, bool endsRun) {
    if (!PortOpen()) {
        Say("  the port is gone: nothing sent");
        return;
    }
    if (m_outbox.empty())
        m_headDue = TClock::now() + std::chrono::milliseconds(delayMs);
    m_outbox.push_back({std::move(bytes), delayMs, endsRun});
}

void TSimulator::SendDue() {
    if (!PortOpen()) {
        m_outbox.clear();
        return;
    }
    while (!m_outbox.empty() && TClock::now() >= m_headDue) {
        TOutgoing& head = m_outbox.front();
        std::string bytes = head.Bytes;
        const bool split = m_splitNext && bytes.size() >= 2;
        if (split) {
            // The rest stays at the head of the queue, so nothing overtakes it.
            m_splitNext = false;
            head.Bytes = bytes.substr(bytes.size() / 2);
            head.DelayMs = m_splitMs;
            bytes.resize(bytes.size() / 2);
        }
        // One message, one write: the program's matching of the receiver's messages depends
        // on how they arrive, so the simulator never cuts or joins them unless told to.
        const ssize_t written = ::write(m_port->Master(), bytes.data(), bytes.size());
        Say("-> port " + std::to_string(bytes.size()) +
            " bytes: " + HexDump(bytes.data(), bytes.size()));
        if (written < static_cast<ssize_t>(bytes.size())) {
            // A serial line has no back-pressure without flow control: what nobody reads is
            // lost, not held.
            const size_t lost = bytes.size() - static_cast<size_t>(std::max<ssize_t>(written, 0));
            Say("  nobody reads the port: " + std::to_string(lost) + " bytes lost");
        }
        if (split) {
            m_headDue = TClock::now() + std::chrono::milliseconds(head.DelayMs);
            continue;
        }
        const bool endsRun = head.EndsRun;
        m_outbox.pop_front();
        if (endsRun) {
            m_phase = TPhase::Idle;
            Say("== run over: still frozen, ready for the next");
        }
        if (!m_outbox.empty())
            m_headDue = TClock::now() + std::chrono::milliseconds(m_outbox.front().DelayMs);
    }
}

void TSimulator::Vanish() {
    if (!PortOpen()) {
        Say("  the port is gone already");
        return;
    }
    RemoveLinkIfOurs(m_linkPath, m_slavePath);
    m_modemLines.reset(); // the terminal's number, and so its lines, may go to another's terminal
    m_port->Close();
    m_outbox.clear();
    m_power = false;
    m_frozen = false;
    m_phase = TPhase::Idle;
    Say("== the port vanished: " + m_slavePath + " closed, " + m_linkPath + " removed");
    // The terminal's number may go to someone else's terminal now; the name is not ours.
    m_linkPath.clear();
}

// ---------------------------------------------------------------------------------------------
// Transfer

void TSimulator::AcceptClient() {
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // The folder is ours alone, but a socket can be reached through a descriptor passed on.
    if (!Platform::PeerIsUser(fd)) {
        ::close(fd);
        Say("transfer: a client of another user refused");
        return;
    }
    AddPending(fd, false);
    Say("transfer: client connected");
}

void TSimulator::ReadClient() {
    char buffer[64 * 1024];
    const ssize_t count = ::read(m_client, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (count <= 0) {
        if (m_receiving.State() == TImageReceiver::TState::Body)
            Say("transfer: client left after " + std::to_string(m_receiving.Received()) + " of " +
                std::to_string(m_receiving.Size()) + " bytes: image dropped");
        else
            Say("transfer: client left");
        CloseClient();
        return;
    }
    m_clientDeadline = TClock::now() + std::chrono::milliseconds(m_options.ClientPatienceMs);
    TakeClientBytes(buffer, static_cast<size_t>(count));
}

void TSimulator::TakeClientBytes(const char* buffer, size_t size) {
    const bool hadHeader = m_receiving.State() != TImageReceiver::TState::Header;
    const size_t used = m_receiving.Feed(buffer, size);
    if (!hadHeader && m_receiving.State() != TImageReceiver::TState::Header &&
        m_receiving.State() != TImageReceiver::TState::Failed)
        Say("transfer: IMAGE " + std::to_string(m_receiving.Size()) + " announced");
    const std::string reply = m_receiving.TakeReply();
    if (!reply.empty())
        ::send(m_client, reply.data(), reply.size(), MSG_NOSIGNAL);

    switch (m_receiving.State()) {
    case TImageReceiver::TState::Header:
    case TImageReceiver::TState::Body:
        if (reply.compare(0, 9, "PROGRESS ") == 0)
            Say("transfer: " + std::to_string(m_receiving.Received()) + " of " +
                std::to_string(m_receiving.Size()) + " bytes");
        return;
    case TImageReceiver::TState::Failed:
        Say("transfer: refused: " + m_receiving.Error());
        CloseClient();
        return;
    case TImageReceiver::TState::Complete: break;
    }
    if (used < size)
        Say("transfer: " + std::to_string(size - used) + " bytes after the image ignored");
    CloseClient();
    ImageArrived(m_receiving.Size(), m_receiving.Crc());
}

// From any way in: the image is held, and written at once if a write run waits for it.
void TSimulator::ImageArrived(uint64_t size, uint32_t crc) {
    m_image = TImage{size, crc};
    Say("image received: " + ImageText(size, crc));
    if (m_phase == TPhase::WaitingImage)
        ContinueRun();
    else
        Say("  held until a write command");
}

void TSimulator::ReadLpt() {
    const uint64_t before = m_lpt->Received();
    switch (m_lpt->Read()) {
    case TLptEntry::TState::Waiting:
        if (m_lpt->Received() / kLptProgressStep != before / kLptProgressStep)
            Say("parallel cable: " + std::to_string(m_lpt->Received()) + " bytes");
        return;
    case TLptEntry::TState::Empty: Say("parallel cable: a writer closed with nothing sent"); return;
    case TLptEntry::TState::TooLarge:
        Say("parallel cable: more than " + std::to_string(TImageReceiver::kMaxImageSize) +
            " bytes: image dropped");
        return;
    case TLptEntry::TState::Complete:
        Say("parallel cable: the writer closed after " + std::to_string(m_lpt->Received()) +
            " bytes");
        ImageArrived(m_lpt->Received(), m_lpt->Crc());
        return;
    }
}

void TSimulator::CloseClient() {
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
}

void TSimulator::AcceptTcpClient() {
    const int fd = ::accept4(m_tcpListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    AddPending(fd, true);
    Say("transfer: TCP client connected");
}

void TSimulator::AddPending(int fd, bool needsSecret) {
    if (m_pending.size() >= kMaxPendingClients) {
        ::close(m_pending.front().Fd);
        m_pending.erase(m_pending.begin());
        Say("transfer: too many clients without a header: the oldest dropped");
    }
    m_pending.push_back({fd,
                         needsSecret,
                         TSecretCheck(m_secret),
                         {},
                         TClock::now() + std::chrono::milliseconds(m_options.ClientPatienceMs)});
}

void TSimulator::ReadPendingClient(size_t index) {
    TPendingClient& pending = m_pending[index];
    char buffer[64 * 1024];
    const ssize_t count = ::read(pending.Fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    const size_t size = count > 0 ? static_cast<size_t>(count) : 0;
    const auto drop = [&](const std::string& why) {
        ::close(pending.Fd);
        m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(index));
        Say("transfer: " + why);
    };
    size_t used = 0;
    if (pending.NeedsSecret) {
        used = pending.Check.Feed(buffer, size);
        const TSecretCheck::TState state = pending.Check.State();
        if (state == TSecretCheck::TState::Refused) {
            static const char refused[] = "ERROR wrong secret\n";
            ::send(pending.Fd, refused, sizeof refused - 1, MSG_NOSIGNAL);
            drop("TCP client refused: wrong secret");
            return;
        }
        if (state == TSecretCheck::TState::Waiting) {
            if (count <= 0)
                drop("TCP client left without a secret");
            return;
        }
        pending.NeedsSecret = false;
        Say("transfer: TCP client gave the secret");
    }
    if (count <= 0) {
        drop("client left before its header");
        return;
    }
    // The header is one short line; whatever came with it is the image's start.
    pending.Head.append(buffer + used, size - used);
    if (pending.Head.find('\n') == std::string::npos &&
        pending.Head.size() <= TImageReceiver::kMaxHeaderLength)
        return;
    if (m_client >= 0) {
        static const char busy[] = "ERROR busy\n";
        ::send(pending.Fd, busy, sizeof busy - 1, MSG_NOSIGNAL);
        drop("a second client refused while an image is coming");
        return;
    }
    const std::string head = std::move(pending.Head);
    m_client = pending.Fd;
    m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(index));
    m_receiving = TImageReceiver();
    m_clientDeadline = TClock::now() + std::chrono::milliseconds(m_options.ClientPatienceMs);
    TakeClientBytes(head.data(), head.size());
}

void TSimulator::ExpireClients() {
    const auto now = TClock::now();
    for (size_t i = m_pending.size(); i-- > 0;) {
        if (now < m_pending[i].Deadline)
            continue;
        const bool secret = m_pending[i].NeedsSecret;
        ::close(m_pending[i].Fd);
        m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
        Say(secret ? "transfer: TCP client sent no secret in time: dropped"
                   : "transfer: client sent no header in time: dropped");
    }
    if (m_client >= 0 && now >= m_clientDeadline) {
        Say("transfer: client silent after " + std::to_string(m_receiving.Received()) + " of " +
            std::to_string(m_receiving.Size()) + " bytes: dropped");
        CloseClient();
    }
}

// ---------------------------------------------------------------------------------------------

void TSimulator::NoteOpened() {
    alignas(inotify_event) char events[4096];
    while (::read(m_opens, events, sizeof events) > 0) {
    }
    m_powerOnAt = TClock::now() + std::chrono::milliseconds(m_options.OnOpenMs);
    Say("the port was opened: switching on in " + std::to_string(m_options.OnOpenMs) + " ms");
}

void TSimulator::Cleanup() {
    if (m_opens >= 0) {
        ::close(m_opens);
        m_opens = -1;
    }
    // The link first: once it is gone no lister offers the port, whatever comes after.
    if (!m_linkPath.empty()) {
        RemoveLinkIfOurs(m_linkPath, m_slavePath);
        m_linkPath.clear();
    }
    m_port.reset();
    CloseClient();
    for (const TPendingClient& pending : m_pending)
        ::close(pending.Fd);
    m_pending.clear();
    if (m_tcpListener >= 0) {
        ::close(m_tcpListener);
        m_tcpListener = -1;
    }
    if (!m_tcpPath.empty()) {
        RemoveTcpFileIfOurs(m_tcpPath, m_tcpInode);
        m_tcpPath.clear();
    }
    m_lpt.reset();
    if (m_listener >= 0) {
        ::close(m_listener);
        m_listener = -1;
    }
    if (!m_socketPath.empty()) {
        RemoveSocketIfOurs(m_socketPath, m_socketInode);
        m_socketPath.clear();
        Say("port removed");
    }
}

int TSimulator::PollTimeout() const {
    std::optional<TClock::time_point> next;
    const auto earliest = [&next](TClock::time_point when) {
        if (!next || when < *next)
            next = when;
    };
    if (PortOpen() && !m_outbox.empty())
        earliest(m_headDue);
    if (m_waitUntil)
        earliest(*m_waitUntil);
    if (m_powerOnAt)
        earliest(*m_powerOnAt);
    if (m_expect)
        earliest(m_expectDeadline);
    for (const TPendingClient& pending : m_pending)
        earliest(pending.Deadline);
    if (m_client >= 0)
        earliest(m_clientDeadline);
    if (!next)
        return -1; // idle: only a file descriptor can wake us
    // Rounded up, so a wake-up never comes before what it waits for and turns into a spin.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - TClock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, INT_MAX));
}

} // namespace ReceiverSim
