// The simulator as a person or a test script uses it: the real process, its port opened through
// the published link as Vell Writer opens it, images sent over the real transfer socket. What
// is checked is the bytes on the line, in their order.

#include "tests/support/PlantedFolder.h"
#include "tests/tools/receiver-sim/SimHarness.h"
#include "tools/receiver-sim/VirtualPort.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <random>
#include <sys/stat.h>

using namespace SimTest;

namespace {

const std::string kAck("\x02S000,0\x03", 8);
const std::string kFlash = "\x02"
                           "C042,5\x03";
const std::string kEeprom = "\x02"
                            "C043,5\x03";
const std::string kErase = "\x02"
                           "C044,2\x03";
const std::string kFirmware = "\x02"
                              "C246,2\x03";

std::string RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// How the simulator's console shows bytes it read from the port.
std::string ShownAsRead(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, hex.empty() ? "%02X" : " %02X", c);
        hex += cell;
    }
    return "<- port " + std::to_string(bytes.size()) + " bytes: " + hex + "  |";
}

// The program ends its watch on the first text with "C04" or "C24": only the end line may
// carry one, or a run would be declared over half-way.
void ExpectCodeOnlyInTheLastLine(const std::string& text) {
    const size_t lastLine = text.rfind("\r\n", text.size() - 3);
    const std::string before = lastLine == std::string::npos ? "" : text.substr(0, lastLine);
    EXPECT_EQ(before.find("C04"), std::string::npos) << text;
    EXPECT_EQ(before.find("C24"), std::string::npos) << text;
}

class ReceiverSimTest : public testing::Test {
protected:
    void Launch(std::vector<std::string> args = {"--step", "1"}) {
        sim = std::make_unique<TSimProcess>(std::move(args));
        ASSERT_TRUE(sim->WaitPublished());
        ASSERT_TRUE(sim->Running()) << sim->Output();
        port = std::make_unique<TPortEnd>(sim->Link());
    }

    void SwitchOn() {
        sim->Command("on");
        ASSERT_EQ(port->Read(3), "AT\r");
    }

    void Freeze() {
        SwitchOn();
        port->Send("STX,EF81");
        port->Send("DD51,ETX");
        ASSERT_EQ(port->Read(8), kAck);
    }

    // Sends an image over the socket as the transfer program does; returns it.
    std::string SendImage(size_t size, unsigned seed) {
        const std::string image = RandomBytes(size, seed);
        TTransferClient client(sim->Socket());
        client.Send("IMAGE " + std::to_string(size) + "\n" + image);
        EXPECT_EQ(client.Answer(), "OK " + std::to_string(size));
        return image;
    }

    // The rest of the run's text through the end line carrying `code`.
    std::string RunText(const std::string& code) {
        std::string text = port->ReadThrough(code);
        text += port->ReadThrough("\r\n");
        return text;
    }

    void TearDown() override {
        if (HasFailure() && sim)
            std::cerr << "--- simulator console ---\n" << sim->Output();
    }

    std::unique_ptr<TSimProcess> sim;
    std::unique_ptr<TPortEnd> port;
};

TEST_F(ReceiverSimTest, PublishesThePortAndRemovesItHoweverItEnds) {
    for (const std::string ending : {"quit", "SIGINT", "SIGTERM"}) {
        SCOPED_TRACE(ending);
        Launch();
        char target[256] = {};
        ASSERT_GT(::readlink(sim->Link().c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;
        struct stat info {};
        ASSERT_EQ(::lstat(sim->Socket().c_str(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        // The TCP way in: its secret readable by this user alone.
        ASSERT_EQ(::lstat(sim->TcpFile().c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(info.st_uid, ::geteuid());
        SwitchOn();

        if (ending == "quit")
            sim->Command("quit");
        else
            sim->Signal(ending == "SIGINT" ? SIGINT : SIGTERM);
        EXPECT_EQ(sim->WaitExit(), 0);
        EXPECT_FALSE(TSimProcess::Exists(sim->Link()));
        EXPECT_FALSE(TSimProcess::Exists(sim->Socket()));
        EXPECT_FALSE(TSimProcess::Exists(sim->TcpFile()));
        port.reset();
        sim.reset();
    }
}

TEST_F(ReceiverSimTest, AcknowledgesTheCommandStringsHoweverTheyArrive) {
    Launch();
    SwitchOn();
    port->Send("STX,EF81DD51,ETX");
    EXPECT_EQ(port->Read(8), kAck) << "both in one read";

    port->Send("STX,EF81");
    port->Send("DD51,ETX");
    EXPECT_EQ(port->Read(8), kAck) << "two writes";

    // Each piece is seen by the simulator before the next is written, so the strings really
    // come across four reads.
    for (const std::string piece : {"ST", "X,EF81D", "D51,E", "TX"}) {
        port->Send(piece);
        ASSERT_TRUE(sim->WaitForOutput(ShownAsRead(piece))) << piece;
    }
    EXPECT_EQ(port->Read(8), kAck) << "four reads";
}

TEST_F(ReceiverSimTest, AnswersNothingWhileOffAndNoRunUntilFrozen) {
    Launch();
    port->Send("STX,EF81DD51,ETX");
    ASSERT_TRUE(sim->WaitForOutput("the receiver is off: no answer"));
    // Had the strings been answered, the acknowledgement would come before the start string.
    SwitchOn();

    port->Send(kFlash);
    ASSERT_TRUE(sim->WaitForOutput("FLASH command while not frozen: ignored"));
    port->Send("DD51,ETX");
    ASSERT_TRUE(sim->WaitForOutput("DD51,ETX without STX,EF81 before it: ignored"));
    port->Send("STX,EF81DD51,ETX");
    EXPECT_EQ(port->Read(8), kAck);
}

TEST_F(ReceiverSimTest, WritesFlashWithTheImageFromTheTransferSocket) {
    Launch();
    Freeze();
    port->Send(kFlash);
    EXPECT_EQ(port->ReadThrough("\r\n"), "Memory Alocation\r\n");

    // Large enough to cross the socket buffers and bring progress lines before the OK.
    const std::string image = SendImage(300000, 7);
    const std::string text = RunText("C042");
    EXPECT_EQ(text.rfind("Download started\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("Writing 50%\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 6), "C042\r\n");
    ExpectCodeOnlyInTheLastLine(text);

    char expected[64];
    std::snprintf(expected, sizeof expected, "image received: size=300000 crc32=0x%08x",
                  Crc32(image));
    EXPECT_TRUE(sim->WaitForOutput(expected));
    EXPECT_NE(sim->Log().find(expected), std::string::npos) << sim->Log();
}

TEST_F(ReceiverSimTest, TakesAnImageThatCameBeforeTheCommand) {
    // The program starts the transfer program first and sends the command after a delay.
    Launch();
    Freeze();
    SendImage(1000, 3);
    port->Send(kEeprom);
    const std::string text = RunText("C043");
    EXPECT_EQ(text.rfind("Memory Alocation\r\nDownload started\r\n", 0), 0u) << text;
    ExpectCodeOnlyInTheLastLine(text);
}

TEST_F(ReceiverSimTest, FailedWriteIsReportedBeforeItsEndAndOnlyOnce) {
    Launch();
    Freeze();
    sim->Command("fail");
    ASSERT_TRUE(sim->WaitForOutput("the next write will fail"));
    port->Send(kFirmware);
    EXPECT_EQ(port->ReadThrough("\r\n"), "Memory Alocation\r\n");
    SendImage(64, 1);
    const std::string failed = RunText("C246");
    const size_t report = failed.find("Failed to write block 3\r\n");
    ASSERT_NE(report, std::string::npos) << failed;
    EXPECT_LT(report, failed.find("C246"));
    ExpectCodeOnlyInTheLastLine(failed);

    // Still frozen, and the next write goes through.
    port->Send(kFlash);
    port->ReadThrough("Memory Alocation\r\n");
    SendImage(64, 2);
    const std::string next = RunText("C042");
    EXPECT_EQ(next.find("Failed"), std::string::npos) << next;
}

TEST_F(ReceiverSimTest, EraseEndsWithC044AndNeedsNoImage) {
    Launch();
    Freeze();
    port->Send(kErase);
    const std::string text = RunText("C044");
    EXPECT_EQ(text.find("Memory Alocation"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 6), "C044\r\n");
    ExpectCodeOnlyInTheLastLine(text);
}

TEST_F(ReceiverSimTest, StalledWriteGoesSilentAfterMemoryAllocation) {
    // No pause between lines: a run that went on would have written its next line at once.
    Launch({"--step", "0"});
    Freeze();
    sim->Command("stall");
    ASSERT_TRUE(sim->WaitForOutput("goes silent"));
    port->Send(kFlash);
    EXPECT_EQ(port->ReadThrough("\r\n"), "Memory Alocation\r\n");
    SendImage(64, 5);
    sim->Command("status");
    ASSERT_TRUE(sim->WaitForOutput("FLASH run stalled"));
    sim->Command("on");
    EXPECT_EQ(port->Read(3), "AT\r");
}

TEST_F(ReceiverSimTest, GarbageFromThePortDoesNotStopIt) {
    Launch();
    SwitchOn();
    port->Send(RandomBytes(256 * 1024, 11));
    // Beginnings of commands that never end, and a frame nobody knows.
    for (const std::string& junk :
         {std::string("\x02"), std::string("STX,EF8"),
          std::string("\x02"
                      "C04"),
          "\x02" + std::string(300, 'A'), std::string("\x02ZZZ\x03"), std::string(1, '\0'),
          std::string("\x02"
                      "AB")})
        port->Send(junk);
    port->Send("STX,EF81DD51,ETX");
    EXPECT_EQ(port->Read(8), kAck);
    EXPECT_TRUE(sim->Running());
    EXPECT_NE(sim->Output().find("unknown command \"ZZZ\": ignored"), std::string::npos);
}

TEST_F(ReceiverSimTest, SendsGarbageAndSplitMessagesWhenTold) {
    Launch();
    sim->Command("split 20");
    SwitchOn(); // the two halves still make the start string
    const std::string output = sim->Output();
    EXPECT_NE(output.find("-> port 1 bytes: 41  |A|"), std::string::npos) << output;
    EXPECT_NE(output.find("-> port 2 bytes: 54 0D  |T.|"), std::string::npos) << output;

    sim->Command("garbage 100");
    EXPECT_EQ(port->Read(100).size(), 100u);
}

TEST_F(ReceiverSimTest, VanishTakesThePortAway) {
    Launch();
    sim->Command("vanish");
    EXPECT_TRUE(WaitUntil([&] { return !TSimProcess::Exists(sim->Link()); }));
    pollfd line{port->Fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&line, 1, 10000), 1);
    EXPECT_NE(line.revents & POLLHUP, 0);
    EXPECT_TRUE(sim->Running());
    sim->Command("quit");
    EXPECT_EQ(sim->WaitExit(), 0);
    EXPECT_FALSE(TSimProcess::Exists(sim->Socket()));
}

TEST_F(ReceiverSimTest, TransferSocketTakesOneClientAtATime) {
    Launch();
    {
        TTransferClient bad(sim->Socket());
        bad.Send("HELLO 12\n");
        EXPECT_EQ(bad.ReadLine(), "ERROR expected IMAGE <size>");
    }
    {
        TTransferClient first(sim->Socket());
        first.Send("IMAGE 10\nabc");
        ASSERT_TRUE(sim->WaitForOutput("IMAGE 10 announced"));
        TTransferClient second(sim->Socket());
        second.Send("IMAGE 3\nxyz");
        EXPECT_EQ(second.ReadLine(), "ERROR busy");
        first.Send("defghij");
        EXPECT_EQ(first.Answer(), "OK 10");
    }
    {
        // One who connects and says nothing holds up no delivery.
        TTransferClient idle(sim->Socket());
        TTransferClient next(sim->Socket());
        next.Send("IMAGE 4\nabcd");
        EXPECT_EQ(next.Answer(), "OK 4");
    }
    {
        TTransferClient quitter(sim->Socket());
        quitter.Send("IMAGE 5\nab");
    }
    EXPECT_TRUE(sim->WaitForOutput("client left after 2 of 5 bytes: image dropped"));
    EXPECT_TRUE(sim->Running());
}

// A client gone silent, before its header or in the middle of its image, is dropped once its
// time-out fires, and the next one delivers.
TEST_F(ReceiverSimTest, SilentTransferClientsAreDropped) {
    Launch({"--client-timeout", "50"});
    TTransferClient mute(sim->Socket());
    EXPECT_TRUE(sim->WaitForOutput("client sent no header in time: dropped"));
    TTransferClient stuck(sim->Socket());
    stuck.Send("IMAGE 10\nabc");
    EXPECT_TRUE(sim->WaitForOutput("client silent after 3 of 10 bytes: dropped"));
    TTransferClient next(sim->Socket());
    next.Send("IMAGE 2\nab");
    EXPECT_EQ(next.Answer(), "OK 2");
}

// Another user's ports folder is no place to publish in, and a client of another user that
// reaches the socket (here: made reachable on purpose) gets no image taken from it.
TEST_F(ReceiverSimTest, OtherUsersFolderAndClientsAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as nobody";
    {
        TPrivateTmp tmp;
        ASSERT_TRUE(tmp.Plant());
        EXPECT_THROW(ReceiverSim::EnsurePortsFolder(), std::runtime_error);
    }
    Launch();
    for (std::string folder = sim->PortsFolder(); folder != "/tmp";
         folder = folder.substr(0, folder.rfind('/')))
        ::chmod(folder.c_str(), 0711);
    ::chmod(sim->Socket().c_str(), 0777);
    const std::string command = "setpriv --reuid=nobody --regid=nogroup --clear-groups "
                                "/usr/bin/python3 -c \"import socket,sys; "
                                "s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); "
                                "s.sendall(b'IMAGE 1\\nx')\" " +
                                sim->Socket() + " 2>/dev/null";
    // It may find the connection closed before its write is out: only the refusal counts.
    EXPECT_NE(std::system(command.c_str()), -1);
    EXPECT_TRUE(sim->WaitForOutput("transfer: a client of another user refused"));
    EXPECT_EQ(sim->Output().find("image received"), std::string::npos);
}

// A Windows transfer program under Wine cannot reach the Unix socket; it comes over loopback
// TCP and must first give the secret that only this user can read.
TEST_F(ReceiverSimTest, TcpWayInTakesAnImageOnlyWithTheSecret) {
    Launch();
    std::string port;
    std::string secret;
    std::istringstream(TSimProcess::Read(sim->TcpFile())) >> port >> secret;
    ASSERT_EQ(secret.size(), 32u);
    EXPECT_EQ(secret.find_first_not_of("0123456789abcdef"), std::string::npos) << secret;
    const auto tcpPort = static_cast<uint16_t>(std::stoi(port));
    std::string wrong = secret;
    wrong[31] = wrong[31] == '0' ? '1' : '0';

    // A stranger who connects and says nothing holds up no one.
    TTransferClient silent(tcpPort);
    ASSERT_TRUE(sim->WaitForOutput("TCP client connected"));

    const std::string image = RandomBytes(200000, 11);
    struct TCase {
        const char* Name;
        std::string Sent;
        std::string Answer;
    } cases[] = {
        {"right secret, then the image", "SECRET " + secret + "\nIMAGE 200000\n" + image,
         "OK 200000"},
        {"right secret, the image in the same write", "SECRET " + secret + "\nIMAGE 3\nabc",
         "OK 3"},
        {"wrong secret", "SECRET " + wrong + "\nIMAGE 3\nabc", "ERROR wrong secret"},
        {"no secret", "IMAGE 3\nabc", "ERROR wrong secret"},
        {"an endless first line", std::string(100, 'S'), "ERROR wrong secret"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TTransferClient client(tcpPort);
        client.Send(test.Sent);
        EXPECT_EQ(client.Answer(), test.Answer);
        EXPECT_EQ(client.ReadLine(), ""); // and closed
    }
    char expected[64];
    std::snprintf(expected, sizeof expected, "image received: size=200000 crc32=0x%08x",
                  Crc32(image));
    EXPECT_TRUE(sim->WaitForOutput(expected));
    EXPECT_NE(sim->Output().find("image received: size=3 crc32=0x352441c2"), std::string::npos);
    EXPECT_EQ(sim->Output().find("size=3 crc32", sim->Output().find("size=3 crc32") + 1),
              std::string::npos)
        << "a refused client's image was taken";
}

// A Windows transfer program under Wine reaches a parallel cable only as LPT1 mapped to a file:
// the simulator's FIFO. Its bytes until the writer closes are the image, taken once a write
// command came; before that a writer waits, as on a receiver that is not ready.
TEST_F(ReceiverSimTest, ParallelCableFifoTakesTheImageOfAWriteCommand) {
    Launch({"--step", "1", "--lpt"});
    struct stat info {};
    ASSERT_EQ(::lstat(sim->LptFifo().c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    Freeze();

    struct TCase {
        const char* Name;
        size_t Size;
        bool BeforeCommand;
        bool EmptyWriterFirst; // one who opens and closes with nothing is no image
    } cases[] = {
        {"written after the command, larger than the FIFO holds", 300000, false, false},
        {"written and closed before the command", 1000, true, false},
        {"after an empty writer", 5000, false, true},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        const std::string image = RandomBytes(test.Size, unsigned(test.Size));
        const auto deliver = [&] { TLptWriter(sim->LptFifo()).Send(image); };
        if (test.BeforeCommand)
            deliver();
        port->Send(kFlash);
        EXPECT_EQ(port->ReadThrough("\r\n"), "Memory Alocation\r\n");
        if (test.EmptyWriterFirst) {
            TLptWriter(sim->LptFifo());
            EXPECT_TRUE(sim->WaitForOutput("parallel cable: a writer closed with nothing sent"));
        }
        if (!test.BeforeCommand)
            deliver();
        const std::string text = RunText("C042");
        EXPECT_EQ(text.rfind("Download started\r\n", 0), 0u) << text;
        char expected[64];
        std::snprintf(expected, sizeof expected, "image received: size=%zu crc32=0x%08x", test.Size,
                      Crc32(image));
        EXPECT_TRUE(sim->WaitForOutput(expected));
    }
    sim->Command("quit");
    EXPECT_EQ(sim->WaitExit(), 0);
    EXPECT_FALSE(TSimProcess::Exists(sim->LptFifo()));
}

// A script drives the receiver unattended and says by its exit code whether the program did
// what the script expected.
TEST_F(ReceiverSimTest, ScriptsEndWithTheirVerdict) {
    {
        SCOPED_TRACE("script met");
        char path[] = "/tmp/receiver-sim-script-XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        // It ends on a word from the test, so nothing is cut off by the simulator leaving.
        const std::string script =
            "# rehearsal\non\nexpect DD51,ETX\nexpect \\x02C042\nwait 10\nexpect BYE\n";
        ASSERT_EQ(::write(fd, script.data(), script.size()), ssize_t(script.size()));
        ::close(fd);
        Launch({"--step", "1", "--script", path});
        EXPECT_EQ(port->Read(3), "AT\r");
        port->Send("STX,EF81DD51,ETX");
        EXPECT_EQ(port->Read(8), kAck);
        port->Send(kFlash);
        EXPECT_EQ(port->ReadThrough("\r\n"), "Memory Alocation\r\n");
        port->Send("BYE");
        EXPECT_EQ(sim->WaitExit(), 0);
        EXPECT_FALSE(TSimProcess::Exists(sim->Link()));
        ::unlink(path);
    }
    {
        SCOPED_TRACE("expect timed out");
        Launch({"--script", "-", "--expect-timeout", "200"});
        sim->Command("expect C042");
        EXPECT_EQ(sim->WaitExit(), 1);
        EXPECT_NE(sim->Output().find("expect timed out"), std::string::npos);
    }
    {
        SCOPED_TRACE("mistyped command");
        Launch({"--script", "-"});
        sim->Command("frobnicate");
        EXPECT_EQ(sim->WaitExit(), 2);
    }
}

} // namespace
