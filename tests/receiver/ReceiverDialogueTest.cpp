// The receiver's start-up as the dialogue follows it: the lamps, the start string and its
// answers, the freeze, and the question at open.

#include "tests/receiver/DialogueTest.h"

using namespace Dialogue;

namespace {

const char* const NoImageLine =
    "Now your receiver is freeze. Select a file to download and when ready push the program "
    "button...";

using ReceiverDialogueTest = TRecordedDialogueTest;

TEST_F(ReceiverDialogueTest, AlwaysFreezeTakesTheReceiverFromTurnOnToFrozen) {
    ASSERT_TRUE(Open());
    SetLines(true, false);
    EXPECT_EQ(Log(0).Last(), (TLine{"Receiver turn on...", clBlue}));
    EXPECT_EQ(dialogue->ReceiverState(), rsIdle);

    Receive(StartString);
    TLines lines{{"Received start string...", clTeal},
                 {"Sending command string 1...", clNavy},
                 {"Sending command string 2...", clNavy}};
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(window.written, "STX,EF81DD51,ETX");

    window.written.clear();
    Receive(FreezeAck);
    lines.insert(lines.end(), {{"Receiver \"freeze\"...", clTeal}, {NoImageLine, clTeal}});
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    EXPECT_TRUE(window.runButtonsEnabled);
    EXPECT_EQ(window.written, "");

    // Held in its loader already: a second acknowledgement is neither logged nor answered.
    Receive(FreezeAck);
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    EXPECT_EQ(window.written, "");
    EXPECT_TRUE(window.asked.empty());
}

TEST_F(ReceiverDialogueTest, WithoutAlwaysFreezeEachMessageOnlyGetsTheHint) {
    const std::string hint =
        "You turned on receiver but the software don't freeze it. If you want to freeze it next "
        "time you turn on without selecting a file, select the option \"Always freeze\" from "
        "configuration...";
    window.alwaysFreeze = false;
    ASSERT_TRUE(Open());
    Receive(StartString);
    EXPECT_EQ(Log(0).lines, (TLines{{"Received start string...", clTeal}, {hint, clTeal}}));

    Receive(FreezeAck);
    EXPECT_EQ(Log(0).Line(2), "Receiver \"freeze\"...");
    EXPECT_EQ(Log(0).LastLine(), hint);
    EXPECT_EQ(dialogue->ReceiverState(), rsIdle);
    EXPECT_FALSE(window.runButtonsEnabled);
    EXPECT_EQ(window.written, "");
}

// Only RLSD on with DSR off tells that the receiver sits in its loader; a receiver with DSR on
// is running (or starting), and asking then would freeze a receiver that is not frozen.
TEST_F(ReceiverDialogueTest, OnlyRlsdWithoutDsrAtOpenAsksAboutTheFreeze) {
    const struct {
        bool dsr, rlsd, asks;
    } cases[] = {
        {false, false, false}, {true, false, false}, {true, true, false}, {false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DSR " << c.dsr << ", RLSD " << c.rlsd);
        window.asked.clear();
        window.answers = {true};
        ASSERT_TRUE(Open(c.dsr, c.rlsd));
        EXPECT_EQ(window.asked.size(), c.asks ? 1u : 0u);
        EXPECT_EQ(dialogue->ReceiverState(), c.asks ? rsFrozen : rsIdle);
    }
}

TEST_F(ReceiverDialogueTest, ReceiverHeldInItsLoaderAtOpenIsAskedAboutOnce) {
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "Yes" : "No");
        window.asked.clear();
        window.answers = {answer};
        ASSERT_TRUE(Open(false, true));
        ASSERT_EQ(window.asked.size(), 1u);
        EXPECT_EQ(window.asked[0].caption, "Question...");
        EXPECT_EQ(window.asked[0].text, "Your receiver seems to be yet \"freeze\". Is it correct?");
        EXPECT_EQ(window.asked[0].icon, TMsgIcon::Question);
        EXPECT_EQ(dialogue->ReceiverState(), answer ? rsFrozen : rsIdle);
        EXPECT_EQ(window.runButtonsEnabled, answer);
    }
}

// A port that will not open: the active page's log says why, from the reason the port's
// failure carries, and what to do; a failure without a reason, or another failure, adds nothing.
TEST_F(ReceiverDialogueTest, PortThatWillNotOpenIsExplainedFromItsFailure) {
    const std::string configuration = "choose the port on the Configuration page...";
    const std::string modemManager =
        "ModemManager is running and may be probing the port: give the adapter the udev rule's "
        "ID_MM_DEVICE_IGNORE tag (see the README), or stop ModemManager.";
    const std::string brltty = "brltty is running and may take USB serial adapters for a braille "
                               "display: remove it (sudo apt remove brltty) or stop it.";
    const struct {
        int code;
        std::optional<TOpenFailureReason> reason;
        std::string line; // empty: none
    } cases[] = {
        {CError_OpenFailed, std::nullopt, ""},
        {CError_SetStateFailed,
         TOpenFailureReason{"/dev/ttyUSB0", "open", TOpenFailureKind::Missing, "No", 0, "", {}},
         ""},
        {CError_OpenFailed,
         TOpenFailureReason{"COM1", "open", TOpenFailureKind::Missing, "No such device", 0, "", {}},
         "Port COM1 cannot be opened: No such device. Plug the adapter in (or start the program "
         "that publishes the virtual port), or " +
             configuration},
        {CError_OpenFailed,
         TOpenFailureReason{
             "/dev/ttyS9", "open", TOpenFailureKind::Permission, "Denied", 0, "", {}},
         "Port COM1 (/dev/ttyS9) cannot be opened: Denied. You may not use this device: add your "
         "user to the dialout group (sudo usermod -aG dialout $USER, then log in again), or give "
         "it to your user with the udev rule example in the README..."},
        {CError_OpenFailed,
         TOpenFailureReason{"COM1", "flock", TOpenFailureKind::Busy, "Busy", 42, "minicom", {}},
         "Port COM1 cannot be opened: Busy. Another program holds the port: minicom (pid 42). "
         "Close it, then open the port again..."},
        {CError_OpenFailed,
         TOpenFailureReason{"COM1", "flock", TOpenFailureKind::Busy, "Busy", 0, "", {}},
         "Port COM1 cannot be opened: Busy. Another program holds the port. Close it, then open "
         "the port again..."},
        {CError_OpenFailed,
         TOpenFailureReason{
             "COM1", "isatty", TOpenFailureKind::NotATerminal, "Not a tty", 0, "", {}},
         "Port COM1 cannot be opened: Not a tty. It is no serial port: " + configuration},
        {CError_OpenFailed,
         TOpenFailureReason{"COM1", "owner", TOpenFailureKind::NotOwn, "Denied", 0, "", {}},
         "Port COM1 cannot be opened: Denied. A virtual port must lead to a terminal of your "
         "own: " +
             configuration},
        {CError_OpenFailed,
         TOpenFailureReason{"COM1", "open", TOpenFailureKind::Other, "I/O error", 0, "", {}},
         "Port COM1 cannot be opened: I/O error."},
        // A USB port, with the programs found running that take such ports.
        {CError_OpenFailed,
         TOpenFailureReason{
             "/dev/ttyUSB0", "open", TOpenFailureKind::Other, "I/O error", 0, "", {true, false}},
         "Port COM1 (/dev/ttyUSB0) cannot be opened: I/O error. " + modemManager},
        {CError_OpenFailed,
         TOpenFailureReason{
             "/dev/ttyUSB0", "open", TOpenFailureKind::Missing, "No", 0, "", {false, true}},
         "Port COM1 (/dev/ttyUSB0) cannot be opened: No. Plug the adapter in (or start the "
         "program that publishes the virtual port), or " +
             configuration + " " + brltty},
        {CError_OpenFailed,
         TOpenFailureReason{
             "/dev/ttyACM0", "open", TOpenFailureKind::Busy, "Busy", 0, "", {true, true}},
         "Port COM1 (/dev/ttyACM0) cannot be opened: Busy. Another program holds the port. Close "
         "it, then open the port again... " +
             modemManager + " " + brltty},
    };
    window.activePage = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Log(1).Clear();
        window.failOpen = c.code;
        window.openFailure = c.reason;
        EXPECT_THROW(dialogue->ToolButton1Click(), EComPort);
        EXPECT_FALSE(window.connected);
        EXPECT_EQ(Log(1).Texts(),
                  c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
        if (!c.line.empty()) {
            EXPECT_EQ(Log(1).Last().color, clRed);
        }
    }
    EXPECT_EQ(Log(0).LineCount(), 0) << "the line went to another page's log";
}

// Whatever takes the receiver out of its loader (switched off, switched on again, or starting
// over with its start string) leaves the run buttons disabled.
TEST_F(ReceiverDialogueTest, LeavingTheLoaderDisablesTheRunButtons) {
    const struct {
        const char* event;
        bool dsr, rlsd; // the receiver's lines after the event
        TLine line;
    } cases[] = {
        {"switched off", false, false, {"Receiver turn off...", clBlue}},
        {"switched on", true, true, {"Receiver turn on...", clBlue}},
        {"start string", false, true, {"Sending command string 2...", clNavy}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        ASSERT_TRUE(OpenFrozen());
        ASSERT_TRUE(window.runButtonsEnabled);
        if (c.rlsd && !c.dsr)
            Receive(StartString);
        else
            SetLines(c.dsr, c.rlsd);
        EXPECT_EQ(Log(0).Last(), c.line);
        EXPECT_EQ(dialogue->ReceiverState(), rsIdle);
        EXPECT_FALSE(window.runButtonsEnabled);
    }
}

} // namespace

namespace {

// The image choice: a file that is no image is refused with why, an unusual size refused at
// its question, both keeping the earlier choice; a file taken drops the earlier load.
TEST_F(ReceiverDialogueTest, ImageChoiceKeepsTheEarlierChoiceWhenRefused) {
    const std::string flash = Choose(ikFlash);
    const std::string small = MakeImage("small.bin", 1000);
    const std::string folder = images.Path();
    window.activePage = ikFirmware;
    const struct {
        std::string path;
        std::deque<bool> answers;
        TLine line; // the last line of the Firmware page's log
    } refusals[] = {
        {folder, {}, {"Cannot load " + folder + ": it is a folder, not a file...", clRed}},
        {folder + "/none", {}, {"Cannot load " + folder + "/none: " + NoSuchFile + "...", clRed}},
        {small, {false}, {}},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.path);
        Log(ikFirmware).Clear();
        window.answers = r.answers;
        EXPECT_FALSE(dialogue->ChooseImage(ikFirmware, r.path));
        EXPECT_EQ(Log(ikFirmware).Last(), r.line);
        EXPECT_EQ(dialogue->ImageFileName(), flash);
        EXPECT_EQ(dialogue->SelectedKind(), ikFlash);
    }
    window.asked.clear();
    EXPECT_TRUE(dialogue->ChooseImage(ikFirmware, small));
    ASSERT_EQ(window.asked.size(), 1u);
    EXPECT_EQ(window.asked[0].text, "You have load a file with size 1000 bytes.\nUsually FIRMWARE "
                                    "file has at least size 1024000 bytes\n and writing a wrong "
                                    "file can damage the receiver.\nContinue anyway?");
    EXPECT_EQ(Log(ikFlash).Last(), (TLine{"Delete last load command...", clNavy}));
    EXPECT_EQ(
        Log(ikFirmware).Texts(),
        (std::vector<std::string>{"Ready to load firmware with file " + small, "",
                                  "Press a button in front of receiver to start download..."}));
    EXPECT_EQ(dialogue->ImageFileName(), small);
    EXPECT_EQ(dialogue->SelectedKind(), ikFirmware);
}

TEST(ImageFolderTest, IsThePathUpToItsLastSeparator) {
    const struct {
        const char *path, *folder;
    } cases[] = {{"/home/u/image.bin", "/home/u/"},
                 {"/image.bin", "/"},
                 {"image.bin", ""},
#ifdef _WIN32
                 // A backslash and a drive's colon end a folder too.
                 {"/home/u/a\\b:c.bin", "/home/u/a\\b:"},
                 {"C:\\images\\a.bin", "C:\\images\\"},
                 {"C:a.bin", "C:"}};
#else
                 {"/home/u/a\\b:c.bin", "/home/u/"}}; // a backslash or colon is part of a name
#endif
    for (const auto& c : cases)
        EXPECT_EQ(TReceiverDialogue::ImageFolder(c.path), c.folder) << c.path;
}

} // namespace
