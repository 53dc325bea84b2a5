#pragma once
// The simulated receiver: one thread, one poll() over the pseudo-terminal, the transfer socket,
// its loopback TCP twin, the parallel cable's FIFO, the console and a stop pipe. Idle, it sleeps in
// poll() with no time-out; the only timers are the pacing of the receiver's text lines, a script's
// wait/expect and the time a transfer client has to send its header and each part of its image.

#include "tools/receiver-sim/Dialogue.h"
#include "tools/receiver-sim/LptEntry.h"
#include "tools/receiver-sim/ReceiverLines.h"
#include "tools/receiver-sim/TcpEntry.h"
#include "tools/receiver-sim/Transfer.h"
#include "tools/receiver-sim/VirtualPort.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace ReceiverSim {

struct TSimOptions {
    std::string Name = "recv0";
    bool AutoOn = false;
    // Switch on this many ms after a program opens the port, as a person switches the receiver
    // on once the program is ready; -1: not.
    long OnOpenMs = -1;
    bool Script = false; // commands come from ScriptPath ("-": standard input)
    std::string ScriptPath;
    long ExpectTimeoutMs = 10000;
    long StepMs = 300;   // pause between the text lines of a run
    std::string LogPath; // a copy of everything the console shows
    // How long a transfer client may take to give its secret and header, and then stay silent
    // in the middle of an image, before it is dropped.
    long ClientPatienceMs = 10000;
    // Also take the image from the parallel cable's FIFO "<name>.lpt" (LptEntry.h).
    bool Lpt = false;
};

class TSimulator {
public:
    using TClock = std::chrono::steady_clock;

    explicit TSimulator(TSimOptions options);
    ~TSimulator();
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Makes the terminal and the socket and publishes the port. Throws std::runtime_error.
    void Start();
    // Runs until quit, the end of a script, a script's expect time-out (exit code 1) or a byte
    // on the stop pipe; returns the exit code.
    int Run();
    // The write end of the stop pipe, for a signal handler: one byte stops Run().
    int StopFd() const { return m_stopPipe[1]; }

    const std::string& SocketPath() const { return m_socketPath; }

private:
    enum class TStall { None, Alloc, Download };
    enum class TPhase { Idle, Sending, WaitingImage, Stalled };

    struct TOutgoing {
        std::string Bytes;
        long DelayMs = 0; // after the message before it went out (or after being queued)
        bool EndsRun = false;
    };

    // A client that has not sent its header yet (a TCP client: nor its secret). Kept apart
    // from the image client, so that one who connects and says nothing holds up no transfer.
    struct TPendingClient {
        int Fd = -1;
        bool NeedsSecret = false;
        TSecretCheck Check;
        std::string Head; // what came after the secret, up to the header's end
        TClock::time_point Deadline;
    };

    struct TImage {
        uint64_t Size = 0;
        uint32_t Crc = 0;
    };

    // Console
    void Say(const std::string& line);
    void ReadConsole();
    void RunCommands();
    bool Blocked();
    void Execute(const std::string& line);
    void Status();

    // Receiver
    void PowerOn();
    void PowerOff();
    void ReadPort();
    void OnPortEvent(const TPortEvent& event);
    void StartRun(TRunKind kind);
    void ContinueRun();
    void Queue(std::string bytes, long delayMs, bool endsRun = false);
    void SendDue();
    void Vanish();
    bool PortOpen() const { return m_port && m_port->IsOpen(); }

    // Transfer
    void AcceptClient();
    void ReadClient();
    void TakeClientBytes(const char* data, size_t size);
    void CloseClient();
    void AcceptTcpClient();
    void AddPending(int fd, bool needsSecret);
    void ReadPendingClient(size_t index);
    void ExpireClients();
    void ReadLpt();
    void ImageArrived(uint64_t size, uint32_t crc);

    void Cleanup();
    int PollTimeout() const;
    void NoteOpened();

    TSimOptions m_options;
    TClock::time_point m_started = TClock::now();
    std::FILE* m_log = nullptr;
    int m_stopPipe[2] = {-1, -1};

    std::string m_linkPath;
    std::string m_socketPath;
    std::unique_ptr<TPseudoTerminal> m_port;
    std::unique_ptr<TReceiverLines> m_modemLines; // with m_port
    std::string m_slavePath;
    int m_listener = -1;
    int m_opens = -1; // inotify: a program opening the port's device
    std::optional<TClock::time_point> m_powerOnAt;
    ino_t m_socketInode = 0;
    int m_client = -1;
    TClock::time_point m_clientDeadline; // the image client is dropped when silent until then
    TImageReceiver m_receiving;
    std::string m_tcpPath;
    ino_t m_tcpInode = 0;
    int m_tcpListener = -1;
    std::string m_secret;
    std::vector<TPendingClient> m_pending;
    std::unique_ptr<TLptEntry> m_lpt;

    // Receiver state
    bool m_power = false;
    bool m_frozen = false;
    TCommandScanner m_scanner;
    TPhase m_phase = TPhase::Idle;
    TRunKind m_runKind = TRunKind::Flash;
    bool m_stallAfterDownload = false; // this run goes silent once "Download started" is out
    bool m_failNext = false;
    TStall m_stallNext = TStall::None;
    bool m_splitNext = false;
    long m_splitMs = 0;
    std::optional<TImage> m_image; // in, not yet written
    std::deque<TOutgoing> m_outbox;
    TClock::time_point m_headDue;
    std::mt19937 m_random{std::random_device{}()};

    // Commands
    int m_consoleFd = -1; // -1: nothing (more) to read
    std::string m_partialLine;
    bool m_discardingLine = false;
    std::deque<std::string> m_lines;
    bool m_consoleEnded = false;
    std::optional<TClock::time_point> m_waitUntil;
    std::optional<std::string> m_expect;
    TClock::time_point m_expectDeadline;
    std::string m_heard; // what the port wrote, not yet matched by an expect
    bool m_quit = false;
    int m_exitCode = 0;
};

} // namespace ReceiverSim
