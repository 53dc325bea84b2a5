#include "serial/platform/TermiosDevice.h"

#include "serial/platform/OpenFailure.h"
#include "serial/platform/PortDaemons.h"
#include "tests/support/ModemLines.h"
#include "tests/support/PtyPair.h"

#include <asm/termbits.h>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace Platform;

DCB LineDcb(DWORD rate, DWORD flags = 0) {
    DCB dcb;
    dcb.BaudRate = rate;
    dcb.ByteSize = 8;
    // No parity even with checking on: a pseudo-terminal holds none, yet checking still makes
    // the kernel mark bytes (a 0xFF comes doubled).
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.Flags = DCB_BINARY | flags | (DTR_CONTROL_ENABLE << DCB_DTR_CONTROL_SHIFT);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

std::unique_ptr<TCommDevice> OpenOrFail(const std::string& path) {
    DWORD error = 0;
    std::unique_ptr<TCommDevice> device = OpenTermiosDevice(path, error);
    if (!device) {
        throw std::runtime_error("cannot open " + path + ": " + std::to_string(error));
    }
    return device;
}

// The device's terminal descriptor as it hands it to a waiter; -1 when it hands none.
int TerminalOf(TCommDevice& device) {
    std::vector<pollfd> sources;
    device.PollSources(true, false, sources);
    for (const pollfd& source : sources) {
        if (::isatty(source.fd)) {
            return source.fd;
        }
    }
    return -1;
}

// Reads `chunk` bytes at a time until `count` came, waiting on the device's descriptors between
// reads, for at most five seconds of silence.
std::string ReadFromDevice(TCommDevice& device, size_t count, size_t chunk = 4096) {
    std::string got;
    std::vector<char> buffer(chunk);
    while (got.size() < count) {
        const long n = device.Read(buffer.data(), buffer.size());
        if (n > 0) {
            got.append(buffer.data(), size_t(n));
            continue;
        }
        std::vector<pollfd> sources;
        device.PollSources(true, false, sources);
        if (n < 0 || ::poll(sources.data(), sources.size(), 5000) <= 0) {
            break;
        }
        device.TakeLineChanges();
    }
    return got;
}

size_t OpenDescriptorCount() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return size_t(std::distance(begin(fds), end(fds)));
}

TEST(TermiosDevice, ConfiguresTheTerminalAndRefusesWhatItCannotTake) {
    TPtyPair pty;
    auto device = OpenOrFail(pty.Path());
    ASSERT_EQ(device->Configure(LineDcb(19200)), ERROR_SUCCESS);
    termios2 tio{};
    ASSERT_EQ(::ioctl(TerminalOf(*device), TCGETS2, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CBAUD | CSIZE | PARENB | CSTOPB | CRTSCTS), uint32_t(B19200 | CS8));
    EXPECT_EQ(tio.c_ospeed, 19200u);

    DCB bad = LineDcb(250000);
    bad.StopBits = ONE5STOPBITS;
    EXPECT_EQ(device->Configure(bad), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(::ioctl(TerminalOf(*device), TCGETS2, &tio), 0);
    EXPECT_EQ(tio.c_ospeed, 19200u) << "a refused block changed the line";
}

// Every byte value crosses unchanged both ways: no CR/LF translation, no flow or signal
// characters taken out, and with parity checking the kernel's doubled 0xFF is undone even when
// reads cut it in two.
TEST(TermiosDevice, MovesEveryByteValueBothWays) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(char(i));
    }
    const struct {
        DWORD flags;
        size_t chunk;
    } cases[] = {{0, 4096}, {DCB_PARITY, 4096}, {DCB_PARITY, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", chunk " << c.chunk);
        TPtyPair pty;
        auto device = OpenOrFail(pty.Path());
        ASSERT_EQ(device->Configure(LineDcb(115200, c.flags)), ERROR_SUCCESS);
        pty.Send(bytes);
        EXPECT_EQ(ReadFromDevice(*device, bytes.size(), c.chunk), bytes);
        ASSERT_EQ(device->Write(bytes.data(), bytes.size()), long(bytes.size()));
        EXPECT_EQ(pty.Receive(bytes.size()), bytes);
    }
}

// Before its first Configure a device keeps the settings the last program left, except those
// that would make it misread: VMIN 0 (an empty read would look like a hang-up) and PARMRK
// (0xFF would come doubled).
TEST(TermiosDevice, OpensSafelyOnSettingsLeftByAnotherProgram) {
    TPtyPair pty;
    const int other = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    termios2 tio{};
    ASSERT_EQ(::ioctl(other, TCGETS2, &tio), 0);
    tio.c_lflag &= ~(ICANON | ECHO);
    tio.c_iflag |= INPCK | PARMRK;
    tio.c_cc[VMIN] = 0;
    ASSERT_EQ(::ioctl(other, TCSETS2, &tio), 0);
    ::close(other);

    auto device = OpenOrFail(pty.Path());
    char buffer[16];
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);
    pty.Send("\xff!");
    EXPECT_EQ(ReadFromDevice(*device, 2), "\xff!");
}

TEST(TermiosDevice, SecondOpenOfAPortIsRefusedUntilTheFirstCloses) {
    TPtyPair pty;
    auto first = OpenOrFail(pty.Path());
    const size_t descriptors = OpenDescriptorCount();

    // Also as root, which passes TIOCEXCL: the lock is on the open file description.
    DWORD error = 0;
    EXPECT_EQ(OpenTermiosDevice(pty.Path(), error), nullptr);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenDescriptorCount(), descriptors) << "the refused open leaked its descriptor";
    int exclusive = 0;
    ASSERT_EQ(::ioctl(TerminalOf(*first), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the refused open undid the first one's exclusive mode";

    first.reset();
    const int plain = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(plain, 0);
    EXPECT_EQ(::ioctl(plain, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "exclusive mode outlived the device";
    EXPECT_EQ(::flock(plain, LOCK_EX | LOCK_NB), 0) << "the lock outlived the device";
    ::close(plain);
    EXPECT_NE(OpenTermiosDevice(pty.Path(), error), nullptr);
}

TEST(TermiosDevice, OpenFailsForPathsThatAreNoPort) {
    char regular[] = "/tmp/vell-not-a-port-XXXXXX";
    const int regularFd = ::mkstemp(regular);
    ASSERT_GE(regularFd, 0);
    ::close(regularFd);
    const struct {
        std::string path;
        DWORD error;
    } cases[] = {
        {"/dev/vell-no-such-port", ERROR_FILE_NOT_FOUND},
        {"", ERROR_FILE_NOT_FOUND},
        {regular, ERROR_NOT_SUPPORTED},
        {"/dev/null", ERROR_NOT_SUPPORTED},
        {"/tmp", ERROR_NOT_SUPPORTED},
    };
    const size_t descriptors = OpenDescriptorCount();
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(OpenTermiosDevice(c.path, error), nullptr) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    ::unlink(regular);
}

// Closing the master hangs the slave up at once (bytes it had not read are lost, as when a USB
// adapter is pulled). A read notices; so does the wake-up that the hang-up causes.
TEST(TermiosDevice, ClosedMasterMakesTheDeviceGone) {
    for (const bool noticedOnWakeUp : {false, true}) {
        SCOPED_TRACE(noticedOnWakeUp ? "noticed on wake-up" : "noticed by a read");
        TPtyPair pty;
        auto device = OpenOrFail(pty.Path());
        ASSERT_EQ(device->Configure(LineDcb(9600)), ERROR_SUCCESS);
        // Taken now: a hung-up terminal no longer passes isatty().
        const int fd = TerminalOf(*device);
        pty.CloseMaster();
        ASSERT_NE(WaitForEvents(fd, 0) & POLLHUP, 0);
        std::vector<pollfd> sources;
        if (noticedOnWakeUp) {
            EXPECT_EQ(device->TakeLineChanges(), 0u);
            device->PollSources(true, true, sources);
            EXPECT_EQ(sources.size(), 1u) << "a gone device is still polled";
        }
        char buffer[16];
        EXPECT_EQ(device->Read(buffer, sizeof buffer), -long(ERROR_BAD_COMMAND));
        EXPECT_EQ(device->Write("x", 1), -long(ERROR_BAD_COMMAND));
        EXPECT_EQ(device->Configure(LineDcb(9600)), ERROR_BAD_COMMAND);
        sources.clear();
        device->PollSources(true, true, sources);
        ASSERT_EQ(sources.size(), 1u) << "a gone device is still polled";
        EXPECT_NE(sources[0].fd, fd);
    }
}

// A pseudo-terminal has no modem lines, error counters or break: it must still open and answer
// as a port whose lines are all down, and honour flow control and flushing.
TEST(TermiosDevice, LineFunctionsWorkOnAPseudoTerminal) {
    TPtyPair pty;
    auto device = OpenOrFail(pty.Path());
    ASSERT_EQ(device->Configure(LineDcb(9600, DCB_INX)), ERROR_SUCCESS);
    DWORD value = 0xFFFF, errors = 0xFFFF, hold = 0xFFFF;
    EXPECT_EQ(device->ModemStatus(value), ERROR_SUCCESS);
    EXPECT_EQ(device->TakeLineErrors(errors), ERROR_SUCCESS);
    EXPECT_EQ(device->HoldFlags(hold), ERROR_SUCCESS);
    EXPECT_EQ(value | errors | hold | device->TakeLineChanges(), 0u);
    for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK}) {
        EXPECT_EQ(device->Escape(function), ERROR_SUCCESS) << function;
    }
    EXPECT_EQ(device->Escape(7), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(device->Escape(SETXOFF), ERROR_SUCCESS);
    EXPECT_EQ(device->Write("held", 4), 0);
    ASSERT_EQ(device->Escape(SETXON), ERROR_SUCCESS);
    ASSERT_EQ(device->Write("sent", 4), 4);
    EXPECT_EQ(pty.Receive(4), "sent");

    // The flow characters take the kernel's priority path, others the ordinary one.
    for (char c : {'A', char(0x13), char(0x11)}) {
        ASSERT_EQ(device->TransmitImmediate(c), ERROR_SUCCESS) << int(c);
        EXPECT_EQ(pty.Receive(1), std::string(1, c));
    }

    const int fd = TerminalOf(*device);
    pty.Send("junk");
    int waiting = 0;
    while (waiting < 4 && (WaitForEvents(fd, POLLIN) & POLLIN) &&
           ::ioctl(fd, FIONREAD, &waiting) == 0) {
    }
    ASSERT_EQ(waiting, 4);
    ASSERT_EQ(device->Flush(true, false), ERROR_SUCCESS);
    char buffer[16];
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0) << "flushed input was still read";
}

// The line changes the device reports once its line watcher has woken it; 0 when nothing
// woke it within five seconds.
DWORD LineChangesWhenWoken(TCommDevice& device) {
    std::vector<pollfd> sources;
    device.PollSources(false, false, sources);
    if (::poll(sources.data(), sources.size(), 5000) <= 0) {
        return 0;
    }
    return device.TakeLineChanges();
}

// With modem lines (emulated on the pseudo-terminal): each of the far end's lines reaches the
// modem status and wakes the device with its own event; RLSD is the carrier line, not the ring.
TEST(TermiosDevice, FarEndLinesReachTheStatusAndTheirEvents) {
    const ModemLines::TPrivateModemLines seam;
    TPtyPair pty;
    ModemLines::TModemLines far(pty.Path());
    auto device = OpenOrFail(pty.Path());
    ASSERT_EQ(device->Configure(LineDcb(9600)), ERROR_SUCCESS);
    const struct {
        int line;
        DWORD status;
        DWORD event;
    } rows[] = {
        {TIOCM_CTS, MS_CTS_ON, EV_CTS},
        {TIOCM_DSR, MS_DSR_ON, EV_DSR},
        {TIOCM_CD, MS_RLSD_ON, EV_RLSD},
        {TIOCM_RNG, MS_RING_ON, EV_RING},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "line " << row.line);
        ASSERT_TRUE(far.WaitForWatcher());
        far.Set(row.line, true);
        EXPECT_EQ(LineChangesWhenWoken(*device), row.event);
        DWORD status = 0;
        ASSERT_EQ(device->ModemStatus(status), ERROR_SUCCESS);
        EXPECT_EQ(status, row.status);

        ASSERT_TRUE(far.WaitForWatcher());
        far.Set(row.line, false);
        EXPECT_NE(LineChangesWhenWoken(*device) & row.event, 0u);
        ASSERT_EQ(device->ModemStatus(status), ERROR_SUCCESS);
        EXPECT_EQ(status, 0u);
    }
}

// DTR and RTS as the device control block and the escape functions set them reach the line;
// with RTS handshaking, a low CTS holds the transmitter.
TEST(TermiosDevice, OwnLinesReachTheFarEnd) {
    const ModemLines::TPrivateModemLines seam;
    TPtyPair pty;
    ModemLines::TModemLines far(pty.Path());
    auto device = OpenOrFail(pty.Path());
    const int both = TIOCM_DTR | TIOCM_RTS;
    const DWORD rtsOn = RTS_CONTROL_ENABLE << DCB_RTS_CONTROL_SHIFT;
    const DWORD dtrOn = DTR_CONTROL_ENABLE << DCB_DTR_CONTROL_SHIFT;
    DCB dtrOff = LineDcb(9600);
    dtrOff.Flags &= ~dtrOn;
    const struct {
        const char* step;
        std::function<DWORD()> act;
        int lines;
    } steps[] = {
        {"DTR off, RTS off by the block", [&] { return device->Configure(dtrOff); }, 0},
        {"both on by the block", [&] { return device->Configure(LineDcb(9600, rtsOn)); }, both},
        {"CLRDTR", [&] { return device->Escape(CLRDTR); }, TIOCM_RTS},
        {"CLRRTS", [&] { return device->Escape(CLRRTS); }, 0},
        {"SETRTS", [&] { return device->Escape(SETRTS); }, TIOCM_RTS},
        {"SETDTR", [&] { return device->Escape(SETDTR); }, both},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        ASSERT_EQ(step.act(), ERROR_SUCCESS);
        EXPECT_EQ(far.Lines() & both, step.lines);
        DCB dcb;
        ASSERT_EQ(device->CurrentState(dcb), ERROR_SUCCESS);
        EXPECT_EQ((dcb.Flags >> DCB_DTR_CONTROL_SHIFT & 3) != DTR_CONTROL_DISABLE,
                  (step.lines & TIOCM_DTR) != 0);
    }

    ASSERT_EQ(device->Configure(LineDcb(
                  9600, DCB_OUTX_CTS_FLOW | (RTS_CONTROL_HANDSHAKE << DCB_RTS_CONTROL_SHIFT))),
              ERROR_SUCCESS);
    DWORD hold = 0;
    ASSERT_EQ(device->HoldFlags(hold), ERROR_SUCCESS);
    EXPECT_EQ(hold, COMSTAT_CTS_HOLD);
    far.Set(TIOCM_CTS, true);
    ASSERT_EQ(device->HoldFlags(hold), ERROR_SUCCESS);
    EXPECT_EQ(hold, 0u);
}

// What a port may change on a terminal, as a user of that terminal would notice it.
struct TTerminalState {
    termios2 tio{};
    int exclusive = 0;
    bool operator==(const TTerminalState& other) const {
        return std::memcmp(&tio, &other.tio, sizeof tio) == 0 && exclusive == other.exclusive;
    }
};
TTerminalState StateOf(int fd) {
    TTerminalState state;
    if (::ioctl(fd, TCGETS2, &state.tio) != 0 || ::ioctl(fd, TIOCGEXCL, &state.exclusive) != 0) {
        throw std::runtime_error("cannot read the terminal's state");
    }
    return state;
}

// A port name may lead to a terminal the user works in (a shell's, another program's): its
// settings are put back when the port closes, and when the open fails on the way.
TEST(TermiosDevice, TerminalIsLeftAsItWasFound) {
    enum TEnd { Closed, OpenFailsHalfWay, OtherHoldsExclusive };
    for (const TEnd end : {Closed, OpenFailsHalfWay, OtherHoldsExclusive}) {
        SCOPED_TRACE(testing::Message() << "case " << int(end));
        TPtyPair pty;
        const int other = ::open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(other, 0);
        // Another program's settings: a slow line, its own control characters, VMIN 0 and
        // PARMRK, which an open changes at once.
        termios2 tio{};
        ASSERT_EQ(::ioctl(other, TCGETS2, &tio), 0);
        tio.c_cflag = (tio.c_cflag & ~CBAUD) | B1200 | CSTOPB;
        tio.c_ispeed = tio.c_ospeed = 1200;
        tio.c_iflag |= IXON | INPCK | PARMRK;
        tio.c_cc[VINTR] = 1;
        tio.c_cc[VSTART] = 0x05;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 7;
        ASSERT_EQ(::ioctl(other, TCSETS2, &tio), 0);
        if (end == OtherHoldsExclusive) {
            ASSERT_EQ(::ioctl(other, TIOCEXCL), 0); // root opens through it
        }
        const TTerminalState before = StateOf(other);

        if (end == OpenFailsHalfWay) {
            // Room for the terminal's descriptor (the lowest free one), none for the device's
            // wake-up descriptor.
            const int lowestFree = ::dup(other);
            ASSERT_GE(lowestFree, 0);
            ::close(lowestFree);
            rlimit limit{};
            ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
            const rlimit tight{rlim_t(lowestFree) + 1, limit.rlim_max};
            ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
            DWORD error = 0;
            const bool opened = OpenTermiosDevice(pty.Path(), error) != nullptr;
            ::setrlimit(RLIMIT_NOFILE, &limit);
            ASSERT_FALSE(opened);
        } else {
            auto device = OpenOrFail(pty.Path());
            ASSERT_EQ(device->Configure(LineDcb(115200, DCB_PARITY | DCB_OUTX)), ERROR_SUCCESS);
            ASSERT_FALSE(StateOf(other) == before);
        }
        EXPECT_TRUE(StateOf(other) == before) << "the terminal's settings were not put back";
        ::close(other);
    }
}

// A failed open leaves its reason for the window's line: the device, the call and its errno,
// and for a port another program holds, that program.
// A child holding a lock on a terminal, as a program with the port open does, under a command
// name of its own; it ends when the test lets it go.
class TLockHolder {
public:
    explicit TLockHolder(const std::string& path) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0 || (m_pid = ::fork()) < 0) {
            throw std::runtime_error("cannot start the lock holder");
        }
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            ::prctl(PR_SET_NAME, "vell-holder");
            char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            [[maybe_unused]] ssize_t n = ::write(ready[1], &byte, 1);
            n = ::read(release[0], &byte, 1); // until the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char byte = 0;
        m_locked = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
        ::close(ready[0]);
    }
    ~TLockHolder() {
        ::close(m_release);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t Pid() const { return m_pid; }
    bool Locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

// A failed open leaves its reason for the window's line: the device, the call and its errno,
// and for a port another program holds, that program.
TEST(TermiosDevice, FailedOpenRecordsWhy) {
    TPtyPair held;
    const TLockHolder holder(held.Path());
    ASSERT_TRUE(holder.Locked());

    // Mode bits keep a user, not root, from a device: that row runs unprivileged (the suite
    // runs this test as nobody too).
    TPtyPair forbidden;
    ASSERT_EQ(::chmod(forbidden.Path().c_str(), 0), 0);
    struct TRow {
        std::string path;
        DWORD error;
        const char* call;
        int err;
        long holderPid;
        std::string holderCommand;
    };
    std::vector<TRow> rows = {
        {"/dev/vell-no-such-port", ERROR_FILE_NOT_FOUND, "open", ENOENT, 0, ""},
        // A USB adapter that vanished: the programs that take such ports are looked for.
        {"/dev/ttyUSB-vell-no-such-port", ERROR_FILE_NOT_FOUND, "open", ENOENT, 0, ""},
        {held.Path(), ERROR_ACCESS_DENIED, "flock", EWOULDBLOCK, holder.Pid(), "vell-holder"},
        {"/dev/null", ERROR_NOT_SUPPORTED, "isatty", ENOTTY, 0, ""},
    };
    if (::geteuid() != 0) {
        rows.push_back({forbidden.Path(), ERROR_ACCESS_DENIED, "open", EACCES, 0, ""});
    }
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.path);
        DWORD error = 0;
        EXPECT_EQ(OpenTermiosDevice(row.path, error), nullptr);
        EXPECT_EQ(error, row.error);
        const std::optional<TOpenFailure> failure = LastOpenFailure();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->path, row.path);
        EXPECT_EQ(failure->call, row.call);
        EXPECT_EQ(failure->err, row.err);
        EXPECT_EQ(failure->holderPid, row.holderPid);
        EXPECT_EQ(failure->holderCommand, row.holderCommand);
        EXPECT_EQ(failure->daemons, row.path.find("ttyUSB") != std::string::npos
                                        ? RunningPortDaemons()
                                        : TPortDaemons{});
    }

    TPtyPair unheld;
    EXPECT_NE(OpenOrFail(unheld.Path()), nullptr);
    EXPECT_FALSE(LastOpenFailure().has_value()) << "an open that succeeded kept a failure";
}

} // namespace
