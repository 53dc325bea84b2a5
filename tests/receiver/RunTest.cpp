// Programming and erase runs on a frozen receiver: the checks of the program buttons, the
// confirmation, the transfer program (fake windows), the command written, the receiver's text,
// the watchdog and the run's end. A timer fires when the test calls its handler.

#include "tests/receiver/DialogueTest.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>

using namespace Dialogue;

namespace {

const std::string WatchdogLine =
    "Receiver cannot continue download. Check cable connection and return receiver on...";

using RunTest = TRecordedDialogueTest;

TEST_F(RunTest, FlashRunGoesThroughTheTransferProgramToTheReceiversEnd) {
    ASSERT_TRUE(OpenFrozen());
    const std::string path = Choose(ikFlash);
    window.asked.clear();
    dialogue->ToolButton16Click(ikFlash);

    ASSERT_EQ(window.asked.size(), 1u);
    EXPECT_EQ(window.asked[0].text,
              "You are writing FLASH with file\n" + path + ".\nWould you continue?");
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"exec /opt/vell/Vell_par.exe 2",
                                                       "minimize 7", "sleep 500"}));
    EXPECT_EQ(window.written, FlashCommand);
    TRecordingLog& log = Log(0);
    EXPECT_EQ(log.LastLine(), "Sending flash updating string...");
    EXPECT_EQ(dialogue->ReceiverState(), rsRunning);
    EXPECT_FALSE(window.toolBarEnabled[0]);
    EXPECT_EQ(window.timers, (std::array<bool, 2>{true, false}));
    EXPECT_FALSE(dialogue->PageControl1Changing());

    dialogue->Timer1Timer();
    EXPECT_FALSE(window.timers[0]);
    EXPECT_EQ(windows.clipboard, path);
    EXPECT_EQ(std::vector<std::string>(windows.calls.begin() + 3, windows.calls.end()),
              (std::vector<std::string>{"click 8", "paste " + path}));

    // The receiver's text continues the last line; a line feed starts the next one.
    Receive("Memory Alocation\n");
    EXPECT_EQ(log.lines.end()[-2],
              (TLine{"Sending flash updating string...Memory Alocation", clTeal}));
    EXPECT_TRUE(window.timers[1]);
    const int starts = window.timerStarts[1];
    Receive("Download started");
    EXPECT_TRUE(window.timers[1]);
    EXPECT_EQ(window.timerStarts[1], starts + 1) << "from now on every chunk begins its 30 s again";

    Receive("C042");
    EXPECT_EQ(log.Line(log.LineCount() - 2), "Download startedC042");
    EXPECT_EQ(log.Last(), (TLine{NewDownloadLine, clBlue}));
    EXPECT_EQ(windows.calls.back(), "close 7");
    EXPECT_TRUE(window.toolBarEnabled[0]);
    EXPECT_EQ(window.timers, (std::array<bool, 2>{false, false}));
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    EXPECT_TRUE(window.runButtonsEnabled);
    EXPECT_TRUE(dialogue->PageControl1Changing());
}

TEST_F(RunTest, UnconfirmedRunStartsAtOnceAndToldOfAFailedWriteAtItsEnd) {
    ASSERT_TRUE(OpenFrozen());
    window.confirmLoading = false;
    window.commandDelay = -5; // no pause, rather than an endless one
    Choose(ikFlash);
    window.asked.clear();
    dialogue->ToolButton16Click(ikFlash);
    EXPECT_TRUE(window.asked.empty());
    EXPECT_EQ(windows.calls.back(), "sleep 0");
    ASSERT_EQ(window.written, FlashCommand);

    Receive("Download started ");
    EXPECT_FALSE(window.timers[1]) << "the watchdog waits for the memory allocation";
    Receive("Failed to write ");
    EXPECT_EQ(dialogue->ReceiverState(), rsRunning);
    Receive("C042");
    const TRecordingLog& log = Log(0);
    EXPECT_EQ(log.lines.end()[-2],
              (TLine{"Something goes wrong on writing data: maybe increase \"Send comand "
                     "delay\"...",
                     clBlue}));
    EXPECT_EQ(log.LastLine(), NewDownloadLine);
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
}

// The watchdog fires on a stalled run; once the memory allocation came it keeps watching
// across the receiver's lines, which without the full communication start new log lines.
TEST_F(RunTest, WatchdogEndsAStalledRun) {
    const std::vector<std::string> runs[] = {
        {"Memory Alocation"},
        {"Memory Alocation\r\n", "Download started\r\n", "Writing 25%\r\n"},
    };
    for (const auto& chunks : runs) {
        SCOPED_TRACE(chunks.back());
        ASSERT_TRUE(OpenFrozen());
        Choose(ikFlash);
        dialogue->ToolButton16Click(ikFlash);
        ASSERT_EQ(dialogue->ReceiverState(), rsRunning);
        for (const std::string& chunk : chunks) {
            Receive(chunk);
            EXPECT_TRUE(window.timers[1]) << "a stall after this chunk would go unnoticed";
        }
        dialogue->Timer2Timer();
        EXPECT_EQ(Log(0).Last(), (TLine{WatchdogLine, clBlue}));
        EXPECT_EQ(windows.calls.back(), "close 7");
        EXPECT_EQ(window.timers, (std::array<bool, 2>{false, false}));
        EXPECT_TRUE(window.toolBarEnabled[0]);
        EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    }
}

// The receiver starts over, or is switched on or off, while a run waits for its first words:
// no watchdog runs yet, so the run ends there, as the watchdog would end it but without its
// line. Once the watchdog runs, the run is left for it to end.
TEST_F(RunTest, ReceiverLeavingTheLoaderEndsARunThatNoWatchdogWatches) {
    const struct {
        const char* event;
        bool watched; // "Memory Alocation" came before the event
    } cases[] = {{"start string", false},
                 {"DSR on", false},
                 {"RLSD off", false},
                 {"start string", true},
                 {"RLSD off", true}};
    Choose(ikFlash);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.event << (c.watched ? ", watched" : ""));
        ASSERT_TRUE(OpenFrozen());
        window.activePage = 0;
        window.written.clear();
        dialogue->ToolButton16Click(ikFlash);
        ASSERT_EQ(window.written, FlashCommand);
        if (c.watched)
            Receive("Memory Alocation");
        const std::string event = c.event;
        if (event == "start string")
            Receive(StartString);
        else
            SetLines(event == "DSR on", event == "DSR on");
        ASSERT_EQ(dialogue->ReceiverState(), rsIdle);
        EXPECT_FALSE(window.runButtonsEnabled);
        EXPECT_EQ(window.toolBarEnabled[0], !c.watched);
        EXPECT_EQ(windows.IsWindow(windows.window), c.watched);
        EXPECT_EQ(window.timers[1], c.watched);
        if (!c.watched) {
            EXPECT_EQ(windows.calls.back(), "close 7");
            EXPECT_FALSE(window.timers[0]) << "nothing to paste into";
            const auto lines = Log(0).Texts();
            EXPECT_EQ(std::count(lines.begin(), lines.end(), WatchdogLine), 0);
            continue;
        }
        dialogue->Timer2Timer();
        EXPECT_EQ(Log(0).LastLine(), WatchdogLine);
        EXPECT_TRUE(window.toolBarEnabled[0]);
        EXPECT_FALSE(windows.IsWindow(windows.window));
        EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    }
}

// A run asked for while the watchdog still watches the last one, refused or started: no tool
// bar is left disabled for good.
TEST_F(RunTest, RunAskedForWhileTheWatchdogStillWatchesLeavesNoToolBarDisabled) {
    for (const bool confirmed : {false, true}) {
        SCOPED_TRACE(confirmed ? "confirmed" : "refused");
        ASSERT_TRUE(OpenFrozen());
        Choose(ikFlash);
        dialogue->ToolButton16Click(ikFlash);
        Receive("Memory Alocation");
        Receive(StartString);
        window.activePage = ikFirmware;
        window.answers = {confirmed};
        dialogue->ToolButton19Click();
        if (window.timers[1])
            dialogue->Timer2Timer();
        else
            Receive("C044");
        EXPECT_EQ(window.toolBarEnabled, (std::array<bool, 3>{true, true, true}));
    }
}

// The end of a write split over two chunks: joined in the run's text when the full
// communication is shown, otherwise only while both parts are on the last log line.
TEST_F(RunTest, EndOfTheWriteInTwoChunks) {
    const struct {
        bool full;
        const char* first;
        bool ends;
    } cases[] = {
        {true, "C0", true}, {false, "C0", true}, {true, "C0\n", false}, {false, "C0\n", false}};
    ASSERT_TRUE(OpenFrozen());
    Choose(ikFlash);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "full " << c.full << ", first \"" << c.first << '"');
        window.fullCommunication = c.full;
        window.written.clear();
        dialogue->ToolButton16Click(ikFlash);
        ASSERT_EQ(window.written, FlashCommand);
        Receive(c.first);
        EXPECT_EQ(dialogue->ReceiverState(), rsRunning);
        Receive("42");
        EXPECT_EQ(dialogue->ReceiverState(), c.ends ? rsFrozen : rsRunning);
        if (!c.ends)
            Receive("C042");
        EXPECT_EQ(Log(0).LastLine(), NewDownloadLine);
        EXPECT_TRUE(window.toolBarEnabled[0]);
    }
}

// From the freeze acknowledgement a FIRMWARE run asks only for the run's confirmation: the
// program button's warning is the button's, not the run's.
TEST_F(RunTest, FirmwareRunFromTheFreezeAcknowledgementAsksOnlyTheConfirmation) {
    ASSERT_TRUE(Open());
    const std::string path = Choose(ikFirmware);
    Receive(StartString);
    window.written.clear();
    Receive(FreezeAck);
    ASSERT_EQ(window.asked.size(), 1u);
    EXPECT_EQ(window.asked[0].text, "You are writing FIRMWARE\n" + path + ".\nWould you continue?");
    EXPECT_EQ(window.asked[0].caption, "Attention");
    EXPECT_EQ(window.written, Framed("C246,2"));
    EXPECT_EQ(dialogue->ReceiverState(), rsRunning);
    EXPECT_FALSE(window.toolBarEnabled[1]);
}

// A receiver that never ends its line: each chunk is searched with a short tail of the text
// before it, not the whole text again, and a word the chunk completes is still found.
TEST_F(RunTest, EachChunkIsSearchedWithOnlyTheTailBeforeIt) {
    ASSERT_TRUE(OpenFrozen());
    const std::string filler(512, '.');
    constexpr size_t chunks = 64, tail = 15; // the longest word less one byte
    for (const bool fullCom : {true, false}) {
        SCOPED_TRACE(fullCom ? "full communication" : "last line");
        window.fullCommunication = fullCom;
        window.answers = {true};
        dialogue->ToolButton19Click(); // an erase: a run without a transfer program
        ASSERT_EQ(dialogue->ReceiverState(), rsRunning);
        const size_t before = dialogue->RunTextSearched();
        Receive("Memory Alocation");
        for (size_t i = 0; i < chunks; ++i)
            Receive(filler);
        Receive("Download started C");
        EXPECT_LE(dialogue->RunTextSearched() - before, (chunks + 2) * (filler.size() + tail));
        EXPECT_TRUE(dialogue->RunSawAllocation() && dialogue->RunSawDownload());
        EXPECT_EQ(dialogue->ReceiverState(), rsRunning);
        Receive("04");
        EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
        EXPECT_EQ(Log(0).LastLine(), NewDownloadLine);
    }
}

// Every word the text watch looks for, split at every position over two chunks after some
// text of its own, is still found: the tail searched again before a chunk is long enough for
// the longest word less its last byte.
TEST_F(RunTest, EveryWordSplitOverTwoChunksIsFound) {
    const struct {
        std::string word;
        std::function<bool(const TReceiverDialogue&)> seen;
    } words[] = {
        {"Memory Alocation", [](const TReceiverDialogue& d) { return d.RunSawAllocation(); }},
        {"Download started", [](const TReceiverDialogue& d) { return d.RunSawDownload(); }},
        {"Failed to write", [](const TReceiverDialogue& d) { return d.RunSawFailure(); }},
        {"C04", [](const TReceiverDialogue& d) { return d.ReceiverState() == rsFrozen; }},
        {"C24", [](const TReceiverDialogue& d) { return d.ReceiverState() == rsFrozen; }},
    };
    ASSERT_TRUE(OpenFrozen());
    for (const bool fullCom : {true, false}) {
        window.fullCommunication = fullCom;
        for (const auto& w : words) {
            for (size_t split = 1; split < w.word.size(); ++split) {
                SCOPED_TRACE(testing::Message()
                             << (fullCom ? "full, " : "last line, ") << '"'
                             << w.word.substr(0, split) << '|' << w.word.substr(split) << '"');
                window.answers = {true};
                dialogue->ToolButton19Click(); // an erase: a run without a transfer program
                ASSERT_EQ(dialogue->ReceiverState(), rsRunning);
                Receive("xx " + w.word.substr(0, split));
                EXPECT_FALSE(w.seen(*dialogue));
                Receive(w.word.substr(split));
                EXPECT_TRUE(w.seen(*dialogue));
                if (dialogue->ReceiverState() == rsRunning)
                    dialogue->Timer2Timer();
                else
                    EXPECT_EQ(Log(0).LastLine(), NewDownloadLine);
            }
        }
    }
}

// The pause before the command is capped at a minute, so that a slip on the keyboard cannot
// hold the window for days; a negative delay means no pause.
TEST_F(RunTest, CommandDelayIsCappedAtAMinute) {
    const struct {
        int32_t delay;
        const char* sleep;
    } cases[] = {{-5, "sleep 0"},        {0, "sleep 0"},         {500, "sleep 500"},
                 {60000, "sleep 60000"}, {60001, "sleep 60000"}, {INT32_MAX, "sleep 60000"}};
    Choose(ikFlash);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delay);
        ASSERT_TRUE(OpenFrozen());
        window.commandDelay = c.delay;
        windows.calls.clear();
        window.answers = {true};
        dialogue->ToolButton16Click(ikFlash);
        ASSERT_GE(windows.calls.size(), 3u);
        EXPECT_EQ(windows.calls[2], c.sleep);
        dialogue->Timer2Timer();
    }
}

TEST_F(RunTest, EraseOnTheEepromPageWithAFlashImageSplitsItsLines) {
    ASSERT_TRUE(OpenFrozen());
    Choose(ikFlash);
    window.activePage = 2;
    window.asked.clear();
    const int flashLines = Log(0).LineCount();
    dialogue->ToolButton19Click();

    ASSERT_EQ(window.asked.size(), 1u);
    EXPECT_EQ(window.asked[0].text, "You are erasing FLASH and EEPROM. Would you continue?");
    EXPECT_EQ(window.written, Framed("C044,2"));
    EXPECT_TRUE(windows.calls.empty()) << "an erase needs no transfer program";
    EXPECT_EQ(Log(2).Last(), (TLine{"Sending cleanup string...", clNavy}));
    EXPECT_EQ(Log(0).LineCount(), flashLines);
    EXPECT_EQ(dialogue->SelectedKind(), ikFlash);
    EXPECT_FALSE(window.toolBarEnabled[2]);

    Receive("C044");
    EXPECT_EQ(Log(0).LastLine(), NewDownloadLine);
    EXPECT_EQ(Log(2).LastLine(), "Sending cleanup string...");
    EXPECT_TRUE(window.toolBarEnabled[2]);
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
}

// The image is checked again just before a run: a file that is no longer the one chosen and
// confirmed (longer, touched, replaced, gone) is not written, and the log says why.
TEST_F(RunTest, ImageChangedSinceItWasChosenIsNotWritten) {
    ASSERT_TRUE(OpenFrozen());
    namespace fs = std::filesystem;
    const std::string changed = ": it changed since it was chosen, choose it again...";
    const struct {
        const char* name;
        std::function<void(const fs::path&)> change;
        std::string reason;
    } cases[] = {
        {"longer", [](const fs::path& path) { fs::resize_file(path, 524289); }, changed},
        {"touched",
         [](const fs::path& path) {
             fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24));
         },
         changed},
        {"replaced by one of the same size and time",
         [&](const fs::path& path) {
             const fs::path other = fs::u8path(MakeImage("other.bin", 524288));
             fs::last_write_time(other, fs::last_write_time(path));
             fs::rename(other, path);
         },
         changed},
        {"gone", [](const fs::path& path) { fs::remove(path); }, ": " + NoSuchFile + "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string chosen = Choose(ikFlash);
        c.change(fs::u8path(chosen));
        windows.calls.clear();
        window.answers = {true};
        dialogue->ToolButton16Click(ikFlash);
        EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
        EXPECT_TRUE(window.toolBarEnabled[0]);
        EXPECT_TRUE(windows.calls.empty()) << "no transfer program";
        EXPECT_EQ(window.written, "");
        EXPECT_EQ(Log(0).Last(), (TLine{"Cannot load " + chosen + c.reason, clRed}));
    }
}

// A name the transfer program would read as another file (a Windows program under Wine given
// a name with a backslash, say) is refused before it is measured, asked about or sent: at the
// choice, and at the run's start when the program became one that reads names so since.
TEST_F(RunTest, ImageNameTheProgramWouldReadAsAnotherFileIsRefused) {
    ASSERT_TRUE(OpenFrozen());
    const std::string why = "Windows reads the backslash in \"flash.bin\\..\\other.bin\" as a "
                            "folder separator";
    const std::string odd = MakeImage("flash.bin\\..\\other.bin", 524288);
    for (const bool atTheChoice : {true, false}) {
        SCOPED_TRACE(atTheChoice ? "at the choice" : "at the run's start");
        windows.pathProblem.clear();
        const std::string earlier = Choose(ikFlash);
        windows.pathProblem = why;
        if (atTheChoice) {
            EXPECT_FALSE(dialogue->ChooseImage(ikFlash, odd));
            EXPECT_EQ(dialogue->ImageFileName(), earlier);
        } else {
            windows.pathProblem.clear();
            ASSERT_TRUE(dialogue->ChooseImage(ikFlash, odd));
            windows.pathProblem = why;
            window.asked.clear();
            window.answers = {true};
            dialogue->ToolButton16Click(ikFlash);
            EXPECT_TRUE(window.asked.empty()) << "no confirmation";
            EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
            EXPECT_TRUE(window.toolBarEnabled[0]);
        }
        EXPECT_EQ(Log(0).Last(), (TLine{"Cannot load " + odd + ": " + why + "...", clRed}));
        EXPECT_TRUE(windows.calls.empty()) << "no transfer program";
        EXPECT_EQ(window.written, "");
    }
}

TEST_F(RunTest, ProgramButtonsRefuseWithoutAFileOfTheirKind) {
    const struct {
        int chosen; // the chosen image's kind; ikNone: nothing chosen
        int button; // the kind of the button's page, where it is pressed
        const char* line;
    } cases[] = {
        {ikNone, ikFlash, "Select a file to write in receiver..."},
        {ikFlash, ikFirmware,
         "You haven't select a file to load in FIRMWARE. First select a valid file..."},
        {ikFlash, ikEeprom,
         "You haven't select a file to load in E2PROM. First select a valid file..."},
        {ikEeprom, ikFlash,
         "You haven't select a file to load in FLASH. First select a valid file..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        if (c.chosen != ikNone)
            Choose(c.chosen);
        window.activePage = c.button;
        dialogue->ToolButton16Click(c.button);
        EXPECT_EQ(Log(c.button).Last(), (TLine{c.line, clBlue}));
        EXPECT_TRUE(window.asked.empty());
        EXPECT_EQ(dialogue->ReceiverState(), rsIdle);
    }
    EXPECT_TRUE(windows.calls.empty());
}

TEST_F(RunTest, RefusingTheWarningOrTheConfirmationStartsNothing) {
    ASSERT_TRUE(OpenFrozen());
    Choose(ikFirmware);
    const TLines lines = Log(1).lines;
    window.asked.clear();
    window.answers = {false};
    dialogue->ToolButton16Click(ikFirmware);
    ASSERT_EQ(window.asked.size(), 1u) << "only the firmware warning";
    EXPECT_TRUE(
        window.asked[0].text.starts_with("In this way you will write firmware of your receiver"));
    EXPECT_EQ(Log(1).lines, lines);

    Choose(ikFlash);
    window.asked.clear();
    window.answers = {false};
    dialogue->ToolButton16Click(ikFlash);
    ASSERT_EQ(window.asked.size(), 1u);
    EXPECT_EQ(
        Log(0).Last(),
        (TLine{"Select a file to download and when ready press the program button...", clBlue}));

    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    EXPECT_TRUE(window.toolBarEnabled[0]);
    EXPECT_TRUE(windows.calls.empty());
    EXPECT_EQ(window.written, "");
}

// Findings about the transfer program's route are told and asked about before anything is
// started or sent, with No as the default; a Yes holds until the program's file changes.
TEST_F(RunTest, RouteFindingsAreAskedAboutOnceForEachStateOfTheProgram) {
    ASSERT_TRUE(OpenFrozen());
    const std::string program = MakeImage("Vell_par.exe", 1000);
    dialogue->SetAppDir(program.substr(0, program.size() - 12)); // with its separator
    windows.findings = {"LPT1 stands for /dev/lp0, which does not exist.", "It uses inpout32.dll."};
    Choose(ikFlash);
    const struct {
        const char* name;
        std::function<void()> before;
        std::deque<bool> answers;
        size_t asked; // the route question first when it is asked, then the confirmation
        bool runs;
    } cases[] = {
        {"refused", [] {}, {false}, 1, false},
        {"accepted", [] {}, {true, true}, 2, true},
        {"accepted before", [] {}, {true}, 1, true},
        {"changed since",
         [&] { std::filesystem::resize_file(std::filesystem::u8path(program), 1001); },
         {true, true},
         2,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        window.asked.clear();
        windows.calls.clear();
        window.written.clear();
        window.answers = c.answers;
        const size_t lines = Log(0).lines.size();
        dialogue->ToolButton16Click(ikFlash);
        ASSERT_EQ(window.asked.size(), c.asked);
        EXPECT_EQ(Log(0).lines[lines], (TLine{windows.findings[0], clRed}));
        EXPECT_EQ(Log(0).lines[lines + 1], (TLine{windows.findings[1], clRed}));
        if (c.asked == 2 || !c.runs) {
            const auto& question = window.asked[0];
            EXPECT_EQ(question.caption, "Attention");
            EXPECT_EQ(question.icon, TMsgIcon::Warning);
            EXPECT_EQ(question.preset, TMsgDefault::No);
            EXPECT_NE(question.text.find(windows.findings[1]), std::string::npos);
        }
        EXPECT_EQ(dialogue->ReceiverState(), c.runs ? rsRunning : rsFrozen);
        EXPECT_EQ(window.written, c.runs ? FlashCommand : "");
        if (!c.runs) {
            EXPECT_TRUE(windows.calls.empty());
            EXPECT_EQ(Log(0).Last(), (TLine{"Nothing was sent to the receiver.", clBlue}));
            continue;
        }
        EXPECT_EQ(windows.calls.front(), "exec " + program + " 2");
        Receive("C042");
    }
}

// A transfer program that stopped at a privileged instruction (a direct port access) is named
// as the cause when the run fails.
TEST_F(RunTest, ProgramStoppedByAPrivilegedInstructionIsNamed) {
    const struct {
        std::optional<uint32_t> status;
        bool told;
    } cases[] = {{Win::STATUS_PRIVILEGED_INSTRUCTION, true}, {0u, false}, {std::nullopt, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(OpenFrozen());
        Choose(ikFlash);
        dialogue->ToolButton16Click(ikFlash);
        windows.exitStatus = c.status;
        Receive("Memory Alocation");
        dialogue->Timer2Timer();
        const std::string last = Log(0).LastLine();
        EXPECT_EQ(last.find("0xC0000096") != std::string::npos, c.told) << last;
    }
}

// An installed program looks first in the person's own folder for the transfer program.
TEST_F(RunTest, PersonsOwnTransferProgramComesFirst) {
    ASSERT_TRUE(OpenFrozen());
    const std::string own = images.Path("x").substr(0, images.Path("x").size() - 1);
    dialogue->SetOwnProgramDir(own + "none" + own.back());
    Choose(ikFlash);
    dialogue->ToolButton16Click(ikFlash);
    EXPECT_EQ(windows.calls.front(), "exec /opt/vell/Vell_par.exe 2");
    Receive("C042");

    const std::string program = MakeImage("Vell_par.exe", 1000);
    dialogue->SetOwnProgramDir(own);
    windows.calls.clear();
    dialogue->ToolButton16Click(ikFlash);
    EXPECT_EQ(windows.calls.front(), "exec " + program + " 2");
    EXPECT_TRUE(std::any_of(Log(0).lines.begin(), Log(0).lines.end(), [&](const TLine& line) {
        return line.text == "The transfer program is your own " + program + ".";
    }));
}

} // namespace
