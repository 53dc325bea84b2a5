// The window bridge's requests one by one, under Wine, against the Windows stand-in transfer
// program: each answer as the Windows interface defines it, and what the stand-in's window
// saw, from its own record. The stand-in delivers to the real receiver simulator over its
// loopback TCP way in.

#include "external/BridgeProtocol.h"
#include "tests/support/WineSession.h"
#include "tests/tools/receiver-sim/SimHarness.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <random>

using namespace WineTest;

namespace {

constexpr int kShowMinimized = 2;
constexpr int kLeftButtonDown = 0x0201;
constexpr int kPaste = 0x0302;
constexpr int kClose = 0x0010;

std::unique_ptr<TWineSession> g_session;
std::string g_sessionFailure;
std::unique_ptr<SimTest::TSimProcess> g_simulator;

// A bridge of one architecture, its stand-ins recording into a file of its own.
class TBridge {
public:
    // `runtime`: where its stand-ins look for the simulator, the session's simulator's by default.
    explicit TBridge(const std::string& arch, const std::string& runtime = SimulatorRuntime())
        : m_record(g_session->Folder() + "/record-" + arch) {
        m_child = std::make_unique<TChildProcess>(
            std::vector<std::string>{WINE_PROGRAM, TWineSession::BridgeProgram(arch)},
            g_session->Environment(
                {{"XDG_RUNTIME_DIR", runtime}, {"VELL_STANDIN_RECORD", m_record}}),
            TChildStreams{.inputPipe = true, .outputPipe = true});
    }

    // The answer without its number, which must be the request's.
    std::string Call(const std::string& request) {
        const std::string number = std::to_string(++m_number) + " ";
        m_child->Write(number + request + "\n");
        const std::string answer = m_child->ReadLine().value_or("(no answer)");
        return answer.rfind(number, 0) == 0 ? answer.substr(number.size())
                                            : "(out of step) " + answer;
    }
    TChildProcess& Child() { return *m_child; }

    // The stand-in's record starts anew with each program started.
    void ForgetRecord() { std::filesystem::remove(m_record); }
    std::vector<std::string> Record() const { return ReadLines(m_record); }
    // The first recorded line that starts with `head`, waited for; empty if none comes.
    std::string Recorded(const std::string& head) const {
        std::string found;
        TestSupport::WaitUntil(
            [&] {
                for (const std::string& line : Record())
                    if (line.rfind(head, 0) == 0)
                        return !(found = line).empty();
                return false;
            },
            kPatience);
        return found;
    }

    static std::string SimulatorRuntime() {
        const std::string ports = g_simulator->PortsFolder();
        return ports.substr(0, ports.size() - std::string("/vell-writer/ports").size());
    }

private:
    std::string m_record;
    std::unique_ptr<TChildProcess> m_child;
    uint64_t m_number = 0;
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream text(line);
    for (std::string field; text >> field;)
        fields.push_back(field);
    return fields;
}

class WindowBridgeTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!TWineSession::Missing(TWineSession::WindowPrograms()).empty())
            return;
        g_simulator = std::make_unique<SimTest::TSimProcess>(std::vector<std::string>{});
        ASSERT_TRUE(g_simulator->WaitPublished()) << g_simulator->Output();
        // Caught, so that each test fails on it rather than being skipped.
        try {
            g_session = std::make_unique<TWineSession>();
        } catch (const std::exception& failure) {
            g_sessionFailure = failure.what();
        }
    }
    static void TearDownTestSuite() {
        g_session.reset();
        g_simulator.reset();
    }
    void SetUp() override {
        const std::string missing = TWineSession::Missing(TWineSession::WindowPrograms());
        if (!missing.empty())
            GTEST_SKIP() << missing;
        ASSERT_EQ(g_sessionFailure, "");
        ASSERT_TRUE(g_session);
    }
};

// A run's calls in a run's order, through the 64-bit bridge (as Wine's 64-bit loader runs it)
// and the 32-bit one, each driving the 32-bit stand-in, as a real transfer program is.
TEST_F(WindowBridgeTest, DrivesTheStandInAsARunDoes) {
    const std::string folder = g_session->Folder() + "/images dir é";
    std::filesystem::create_directories(folder);
    const std::string image = folder + "/imäge 1 %41.bin";
    std::string bytes(100000, '\0');
    std::mt19937 random(5);
    for (char& c : bytes)
        c = char(random());
    std::ofstream(image, std::ios::binary) << bytes;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", TestSupport::Crc32(bytes));

    for (const std::string arch : {"x86_64", "i686"}) {
        SCOPED_TRACE(arch + " bridge");
        TBridge bridge(arch);
        bridge.ForgetRecord();
        ASSERT_EQ(bridge.Call("WinExec " + std::to_string(kShowMinimized) + " " +
                              WindowsPath(TWineSession::StandInProgram("i686"))),
                  "1 0");
        const std::vector<std::string> started = Fields(bridge.Recorded("window "));
        ASSERT_EQ(started.size(), 6u);
        const std::string& window = started[1];
        const std::string& input = started[3];
        const int width = std::stoi(started[4]);
        const int height = std::stoi(started[5]);
        EXPECT_EQ(bridge.Recorded("shown "), "shown minimised");

        EXPECT_EQ(bridge.Call("GetForegroundWindow"), window + " 0");
        EXPECT_EQ(bridge.Call("CloseWindow " + window), "1 0");
        EXPECT_EQ(bridge.Call("GetNextDlgTabItem " + window + " 0 0"), input + " 0");

        const std::string path = WindowsPath(image);
        EXPECT_EQ(bridge.Call("SetClipboardText " + Bridge::Escape(path)), "1 0");
        // The run's point, 25 right and 30 down, lies below an input 20 high: it lands inside.
        EXPECT_EQ(bridge.Call("SendMessage " + input + " " + std::to_string(kLeftButtonDown) +
                              " 1 " + std::to_string(25 | 30 << 16)),
                  "0 0");
        const std::vector<std::string> click = Fields(bridge.Recorded("click "));
        ASSERT_EQ(click.size(), 4u);
        EXPECT_EQ(click[1], "25");
        EXPECT_GE(std::stoi(click[2]), 0);
        EXPECT_LT(std::stoi(click[2]), height);
        EXPECT_LT(25, width);
        EXPECT_EQ(click[3], "1"); // MK_LBUTTON
        EXPECT_EQ(bridge.Call("SendMessage " + input + " " + std::to_string(kPaste) + " 0 0"),
                  "0 0");
        EXPECT_EQ(bridge.Recorded("paste "), "paste " + Bridge::Escape(path));
        EXPECT_EQ(bridge.Recorded("delivered "), "delivered 100000 " + std::string(crc));
        EXPECT_TRUE(
            g_simulator->WaitForOutput("image received: size=100000 crc32=0x" + std::string(crc)));

        EXPECT_EQ(bridge.Call("SendMessage " + window + " " + std::to_string(kClose) + " 0 0"),
                  "0 0");
        EXPECT_EQ(bridge.Record().back(), "close");
        EXPECT_EQ(bridge.Call("IsWindow " + window), "0 1400");
        // A second close request finds no window and is skipped.
        EXPECT_EQ(bridge.Call("SendMessage " + window + " " + std::to_string(kClose) + " 0 0"),
                  "0 1400");
        bridge.Child().CloseInput();
        EXPECT_EQ(bridge.Child().WaitExit(), 0);
    }
}

// The 64-bit stand-in from a folder with spaces and non-ASCII letters, started by a command
// line without quotes, beside a planted "Program.exe" that an unquoted start would run
// instead; the bridge's output ends with its input although the program it started still runs.
TEST_F(WindowBridgeTest, StartsAProgramInAFolderWithSpacesAndLetsItOutlive) {
    const std::string folder = g_session->Folder() + "/Program Files é";
    std::filesystem::create_directories(folder);
    const std::string program = folder + "/Vell_par.exe";
    std::filesystem::copy_file(TWineSession::StandInProgram("x86_64"), program);
    std::filesystem::copy_file(TWineSession::BridgeProgram("x86_64"),
                               g_session->Folder() + "/Program.exe");
    TBridge bridge("x86_64");
    bridge.ForgetRecord();
    ASSERT_EQ(bridge.Call("WinExec 2 " + WindowsPath(program)), "1 0");
    const std::vector<std::string> started = Fields(bridge.Recorded("window "));
    ASSERT_EQ(started.size(), 6u);
    EXPECT_EQ(bridge.Call("GetForegroundWindow"), started[1] + " 0");
    EXPECT_EQ(bridge.Call("GetNextDlgTabItem " + started[1] + " 0 0"), started[3] + " 0");

    bridge.Child().CloseInput();
    EXPECT_TRUE(bridge.Child().OutputEnds(kPatience));
    EXPECT_EQ(bridge.Child().WaitExit(), 0);

    TBridge closer("x86_64");
    EXPECT_EQ(closer.Call("IsWindow " + started[1]), "1 0");
    EXPECT_EQ(closer.Call("SendMessage " + started[1] + " 16 0 0"), "0 0");
    EXPECT_EQ(closer.Call("IsWindow " + started[1]), "0 1400");
}

// A receiver that takes the connection and then reads no more: the stand-in's window still
// answers at once while its image is stuck on the way, and a close ends it there.
TEST_F(WindowBridgeTest, StandInAnswersWhileSendingAndClosesMidway) {
    const std::string runtime = g_session->Folder() + "/stalled";
    std::filesystem::create_directories(runtime + "/vell-writer/ports");
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::ofstream(runtime + "/vell-writer/ports/stalled.tcp")
        << ntohs(address.sin_port) << " 0123456789abcdef0123456789abcdef\n";
    // 64 MiB of zeros that take no disk: far more than the connection's buffers hold.
    const std::string image = runtime + "/large.bin";
    std::ofstream(image).close();
    std::filesystem::resize_file(image, 64 << 20);

    TBridge bridge("x86_64", runtime);
    bridge.ForgetRecord();
    ASSERT_EQ(bridge.Call("WinExec 2 " + WindowsPath(TWineSession::StandInProgram("i686"))), "1 0");
    const std::vector<std::string> started = Fields(bridge.Recorded("window "));
    ASSERT_EQ(started.size(), 6u);
    const std::string path = WindowsPath(image);
    EXPECT_EQ(bridge.Call("SetClipboardText " + path), "1 0");
    EXPECT_EQ(bridge.Call("SendMessage " + started[3] + " " + std::to_string(kPaste) + " 0 0"),
              "0 0");
    // The stand-in is sending once it has given the secret.
    pollfd incoming{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&incoming, 1, 30000), 1);
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(connection, 0);
    char secret[40];
    ASSERT_EQ(::recv(connection, secret, sizeof secret, MSG_WAITALL), ssize_t(sizeof secret));
    EXPECT_EQ(std::string(secret, 40), "SECRET 0123456789abcdef0123456789abcdef\n");

    constexpr int kGetTextLength = 0x000E;
    EXPECT_EQ(
        bridge.Call("SendMessage " + started[3] + " " + std::to_string(kGetTextLength) + " 0 0"),
        std::to_string(path.size()) + " 0"); // ASCII: as many UTF-16 units as bytes
    EXPECT_EQ(bridge.Call("SendMessage " + started[1] + " " + std::to_string(kClose) + " 0 0"),
              "0 0");
    EXPECT_EQ(bridge.Record().back(), "close");
    EXPECT_EQ(bridge.Call("IsWindow " + started[1]), "0 1400");
    ::close(connection);
    ::close(listener);
}

TEST_F(WindowBridgeTest, AMissingProgramFailsWithItsReasonAndLeavesNoWindow) {
    TBridge bridge("i686");
    const std::vector<std::string> answer =
        Fields(bridge.Call("WinExec 2 " + WindowsPath(g_session->Folder() + "/none/Vell_par.exe")));
    ASSERT_GE(answer.size(), 3u) << "no reason given";
    EXPECT_EQ(answer[0], "0");
    EXPECT_TRUE(answer[1] == "2" || answer[1] == "3") << answer[1]; // file or path not found
    // No window to minimise or close, whatever else is in front.
    EXPECT_EQ(bridge.Call("GetForegroundWindow"), "0 1400");
}

// A path with a space whose program is missing is refused, never read as "Vell.exe" with
// arguments; and a fresh bridge gives away no window, even one shown in front.
TEST_F(WindowBridgeTest, StartsOnlyTheProgramNamedAndGivesOnlyItsWindows) {
    const std::string planted = g_session->Folder() + "/Vell.exe";
    std::filesystem::create_directories(g_session->Folder() + "/Vell Writer");
    std::filesystem::copy_file(TWineSession::StandInProgram("x86_64"), planted);
    TBridge bridge("x86_64");
    bridge.ForgetRecord();
    const std::vector<std::string> refused = Fields(
        bridge.Call("WinExec 1 " + WindowsPath(g_session->Folder() + "/Vell Writer/Vell_par.exe")));
    ASSERT_GE(refused.size(), 3u);
    EXPECT_EQ(refused[0], "0");
    EXPECT_TRUE(refused[1] == "2" || refused[1] == "3") << refused[1];
    EXPECT_EQ(bridge.Call("GetForegroundWindow"), "0 1400");

    ASSERT_EQ(bridge.Call("WinExec 1 " + WindowsPath(planted)), "1 0");
    const std::vector<std::string> started = Fields(bridge.Recorded("window "));
    ASSERT_EQ(started.size(), 6u);
    EXPECT_EQ(bridge.Call("GetForegroundWindow"), started[1] + " 0");
    TBridge fresh("i686");
    EXPECT_EQ(fresh.Call("GetForegroundWindow"), "0 1400");
    EXPECT_EQ(bridge.Call("SendMessage " + started[1] + " 16 0 0"), "0 0");
}

TEST_F(WindowBridgeTest, RefusesWhatIsNotARequestAndGoesOn) {
    TBridge bridge("i686");
    for (const std::string& line :
         {std::string("bogus"), std::string("IsWindow"), std::string("IsWindow x"),
          std::string("SendMessage 1 2 3"), std::string("Sleep 10 20"),
          std::string("IsWindow 4294967296"), // beyond a 32-bit window handle
          std::string("SendMessage 1 -1 0 0"), std::string(Bridge::kMaxLine + 10, 'A')}) {
        SCOPED_TRACE(line.substr(0, 40));
        EXPECT_EQ(bridge.Call(line), "0 87");
    }
    EXPECT_EQ(bridge.Call("Sleep 1"), "1 0");
    EXPECT_EQ(bridge.Call("Sleep -5"), "1 0");
    EXPECT_EQ(bridge.Call("IsWindow 0"), "0 1400");
    bridge.Child().Write("IsWindow 0\n");
    EXPECT_EQ(bridge.Child().ReadLine(), "0 0 87") << "no number, none in the answer";
    bridge.Child().Write("77 IsWindow 0"); // the last request needs no line feed
    bridge.Child().CloseInput();
    EXPECT_EQ(bridge.Child().ReadLine(), "77 0 1400");
    EXPECT_EQ(bridge.Child().WaitExit(), 0);
}

} // namespace
