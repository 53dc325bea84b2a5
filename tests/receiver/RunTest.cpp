// Programming and erase runs on a frozen receiver over the fake line: the checks of the program
// buttons, the confirmation, the transfer program (fake windows), the command on the wire, the
// receiver's text, the watchdog and the run's end. The timers' handlers are called directly.

#include "CSpinEdit.h"
#include "DialogueHarness.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "ToolBar.h"

#include <QCheckBox>
#include <QTimer>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace Dialogue;

namespace {

const std::string NewDownloadLine = "Now your receiver can start a new download...";
const std::string FlashCommand = std::string("\x02" "C042,5\x03", 8);

class RunTest : public TDialogueTest {
protected:
    // Chooses an image of the usual size for the page's kind, on that page.
    QString Choose(int page) {
        static const qint64 sizes[] = {524288, 1024000, 4096};
        form->PageControl1->setCurrentIndex(page);
        dialogs.openAnswer = MakeImage(images, QStringLiteral("image%1.bin").arg(page), sizes[page]);
        form->FileOpen1Execute(form->ChooseButtons()[size_t(page)]);
        return *dialogs.openAnswer;
    }

    QTemporaryDir images;
};

TEST_F(RunTest, FlashRunGoesThroughTheTransferProgramToTheReceiversEnd) {
    ASSERT_TRUE(OpenFrozen());
    const QString path = Choose(0);
    dialogs.shown.clear();
    form->ToolButton16->click();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("You are writing FLASH with file\n") + path +
                  QStringLiteral(".\nWould you continue?"));
    const std::string exec = "exec " + form->AppDir.toStdString() + "Vell_par.exe 2";
    EXPECT_EQ(windows.calls, (std::vector<std::string>{exec, "minimize 7", "sleep 500"}));
    EXPECT_EQ(line->WaitSent(8, 5000), FlashCommand);
    TLogEdit* log = form->RichEdit1;
    EXPECT_EQ(LastLine(log), "Sending flash updating string...");
    EXPECT_EQ(form->ReceiverState, rsRunning);
    EXPECT_FALSE(form->ToolBar1->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_FALSE(form->Timer2->isActive());
    bool allow = true;
    form->PageControl1Changing(form->PageControl1, allow);
    EXPECT_FALSE(allow);

    form->Timer1Timer(form->Timer1);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(windows.clipboard, path.toStdString());
    EXPECT_EQ(std::vector<std::string>(windows.calls.begin() + 3, windows.calls.end()),
              (std::vector<std::string>{"click 8", "paste " + path.toStdString()}));

    // The receiver's text continues the last line; a line feed starts the next one.
    ASSERT_TRUE(Receive("Memory Alocation\n"));
    EXPECT_EQ(log->Line(log->LineCount() - 2), "Sending flash updating string...Memory Alocation");
    EXPECT_EQ(log->LineColor(log->LineCount() - 2), clTeal);
    EXPECT_TRUE(form->Timer2->isActive());
    ASSERT_TRUE(Receive("Download started"));
    EXPECT_TRUE(form->Timer2->isActive()) << "from now on every chunk begins its 30 s again";

    ASSERT_TRUE(Receive("C042"));
    EXPECT_EQ(log->Line(log->LineCount() - 2), "Download startedC042");
    EXPECT_EQ(LastLine(log), NewDownloadLine);
    EXPECT_EQ(log->LineColor(log->LineCount() - 1), clBlue);
    EXPECT_EQ(windows.calls.back(), "close 7");
    EXPECT_TRUE(form->ToolBar1->isEnabled());
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->ReceiverState, rsFrozen);
    for (TToolButton* button : form->RunButtons())
        EXPECT_TRUE(button->isEnabled());
    form->PageControl1Changing(form->PageControl1, allow);
    EXPECT_TRUE(allow);
}

TEST_F(RunTest, UnconfirmedRunStartsAtOnceAndToldOfAFailedWriteAtItsEnd) {
    ASSERT_TRUE(OpenFrozen());
    form->CheckBox3->setChecked(false);
    form->Spin1->SetValue(-5); // no pause, rather than an endless one
    Choose(0);
    dialogs.shown.clear();
    form->ToolButton16->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(windows.calls.back(), "sleep 0");
    ASSERT_EQ(line->WaitSent(8, 5000), FlashCommand);

    ASSERT_TRUE(Receive("Download started "));
    EXPECT_FALSE(form->Timer2->isActive()) << "the watchdog waits for the memory allocation";
    ASSERT_TRUE(Receive("Failed to write "));
    EXPECT_EQ(form->ReceiverState, rsRunning);
    ASSERT_TRUE(Receive("C042"));
    TLogEdit* log = form->RichEdit1;
    const int n = log->LineCount();
    EXPECT_EQ(log->Line(n - 2),
              "Something goes wrong on writing data: maybe increase \"Send comand delay\"...");
    EXPECT_EQ(log->Line(n - 1), NewDownloadLine);
    EXPECT_EQ(log->LineColor(n - 2), clBlue);
    EXPECT_EQ(form->ReceiverState, rsFrozen);
}

TEST_F(RunTest, WatchdogEndsAStalledRun) {
    ASSERT_TRUE(OpenFrozen());
    Choose(0);
    form->ToolButton16->click();
    ASSERT_EQ(line->WaitSent(8, 5000), FlashCommand);
    ASSERT_TRUE(Receive("Memory Alocation"));
    ASSERT_TRUE(form->Timer2->isActive());

    form->Timer2Timer(form->Timer2);
    EXPECT_EQ(LastLine(form->RichEdit1),
              "Receiver cannot continue download. Check cable connection and return receiver on...");
    EXPECT_EQ(form->RichEdit1->LineColor(form->RichEdit1->LineCount() - 1), clBlue);
    EXPECT_EQ(windows.calls.back(), "close 7");
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_TRUE(form->ToolBar1->isEnabled());
    EXPECT_EQ(form->ReceiverState, rsFrozen);
}

TEST_F(RunTest, WatchdogKeepsWatchingAcrossTheReceiversLines) {
    // The receiver ends its lines: without the full communication shown, the text of the run
    // then starts a new log line, and the watchdog must still restart with every chunk.
    ASSERT_TRUE(OpenFrozen());
    Choose(0);
    form->ToolButton16->click();
    ASSERT_EQ(line->WaitSent(8, 5000), FlashCommand);
    ASSERT_TRUE(Receive("Memory Alocation\r\n"));
    ASSERT_TRUE(form->Timer2->isActive());
    ASSERT_TRUE(Receive("Download started\r\n"));
    ASSERT_TRUE(Receive("Writing 25%\r\n"));
    EXPECT_TRUE(form->Timer2->isActive()) << "a stall after this chunk would go unnoticed";
    form->Timer2Timer(form->Timer2);
    EXPECT_EQ(form->ReceiverState, rsFrozen);
}

// The receiver starts over, or is switched on or off, while a run waits for its first words:
// no watchdog runs yet, so the run ends there, as the watchdog would end it but without its
// line. Once the watchdog runs, the run is left for it to end.
TEST_F(RunTest, ReceiverLeavingTheLoaderEndsARunThatNoWatchdogWatches) {
    const std::string watchdogLine =
        "Receiver cannot continue download. Check cable connection and return receiver on...";
    const struct {
        const char* event;
        bool watched; // "Memory Alocation" came before the event
    } cases[] = {{"start string", false},
                 {"DSR on", false},
                 {"RLSD off", false},
                 {"start string", true},
                 {"RLSD off", true}};
    Choose(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.event << (c.watched ? ", watched" : ""));
        if (form->Dec->Connected())
            form->ToolButton1Click(form->ToolButton1);
        ASSERT_TRUE(OpenFrozen());
        form->PageControl1->setCurrentIndex(0);
        line->TakeSent();
        form->ToolButton16->click();
        ASSERT_EQ(line->WaitSent(8, 5000), FlashCommand);
        ASSERT_TRUE(!c.watched || Receive("Memory Alocation"));
        const std::string event = c.event;
        if (event == "start string") {
            ASSERT_TRUE(Receive(StartString));
        } else {
            line->SetLines(event == "DSR on" ? MS_RLSD_ON | MS_DSR_ON : 0);
        }
        ASSERT_TRUE(PumpUntil([&] { return form->ReceiverState == rsIdle; }));
        for (TToolButton* button : form->RunButtons())
            EXPECT_FALSE(button->isEnabled());
        EXPECT_EQ(form->ToolBar1->isEnabled(), !c.watched);
        EXPECT_EQ(windows.IsWindow(windows.window), c.watched);
        EXPECT_EQ(form->Timer2->isActive(), c.watched);
        if (!c.watched) {
            EXPECT_EQ(windows.calls.back(), "close 7");
            EXPECT_FALSE(form->Timer1->isActive()) << "nothing to paste into";
            const auto lines = Lines(form->RichEdit1);
            EXPECT_EQ(std::count(lines.begin(), lines.end(), watchdogLine), 0);
            continue;
        }
        form->Timer2Timer(form->Timer2);
        EXPECT_EQ(LastLine(form->RichEdit1), watchdogLine);
        EXPECT_TRUE(form->ToolBar1->isEnabled());
        EXPECT_FALSE(windows.IsWindow(windows.window));
        EXPECT_EQ(form->ReceiverState, rsFrozen);
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
    Choose(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "full " << c.full << ", first \"" << c.first << '"');
        form->CheckBox1->setChecked(c.full);
        form->ToolButton16->click();
        ASSERT_EQ(line->WaitSent(8, 5000), FlashCommand);
        ASSERT_TRUE(Receive(c.first));
        EXPECT_EQ(form->ReceiverState, rsRunning);
        ASSERT_TRUE(Receive("42"));
        EXPECT_EQ(form->ReceiverState, c.ends ? rsFrozen : rsRunning);
        ASSERT_TRUE(c.ends || Receive("C042"));
        EXPECT_EQ(LastLine(form->RichEdit1), NewDownloadLine);
        EXPECT_TRUE(form->ToolBar1->isEnabled());
    }
}

// From the freeze acknowledgement a FIRMWARE run asks only for the run's confirmation: the
// program button's warning is the button's, not the run's.
TEST_F(RunTest, FirmwareRunFromTheFreezeAcknowledgementAsksOnlyTheConfirmation) {
    ASSERT_TRUE(OpenPort());
    const QString path = Choose(1);
    ASSERT_TRUE(Receive(StartString));
    line->WaitSent(16, 5000);
    dialogs.shown.clear();
    ASSERT_TRUE(Receive(FreezeAck));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("You are writing FIRMWARE\n") + path +
                                         QStringLiteral(".\nWould you continue?"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Attention"));
    EXPECT_EQ(line->WaitSent(8, 5000), std::string("\x02" "C246,2\x03", 8));
    EXPECT_EQ(form->ReceiverState, rsRunning);
    EXPECT_FALSE(form->ToolBar2->isEnabled());
}

// A receiver that never ends its line: each chunk is searched with a short tail of the text
// before it, not the whole text again, and a word the chunk completes is still found.
TEST_F(RunTest, EachChunkIsSearchedWithOnlyTheTailBeforeIt) {
    ASSERT_TRUE(OpenFrozen());
    const std::string filler(512, '.');
    constexpr size_t chunks = 64, tail = 15; // the longest word less one byte
    for (const bool fullCom : {true, false}) {
        SCOPED_TRACE(fullCom ? "full communication" : "last line");
        form->CheckBox1->setChecked(fullCom);
        dialogs.answers = {true};
        form->ToolButton19->click(); // an erase: a run without a transfer program
        ASSERT_EQ(form->ReceiverState, rsRunning);
        TLogEdit* log = form->RichEdit1;
        const size_t before = form->RunTextSearched;
        auto receive = [&](const std::string& text) {
            log->SetColor(clTeal);
            form->TextWatch(log, text.data(), int32_t(text.size()));
        };
        receive("Memory Alocation");
        for (size_t i = 0; i < chunks; ++i)
            receive(filler);
        receive("Download started C");
        EXPECT_LE(form->RunTextSearched - before, (chunks + 2) * (filler.size() + tail));
        EXPECT_TRUE(form->RunSawAllocation && form->RunSawDownload);
        EXPECT_EQ(form->ReceiverState, rsRunning);
        receive("04");
        EXPECT_EQ(form->ReceiverState, rsFrozen);
        EXPECT_EQ(LastLine(log), NewDownloadLine);
        line->TakeSent();
    }
}

TEST_F(RunTest, EraseOnTheEepromPageWithAFlashImageSplitsItsLines) {
    ASSERT_TRUE(OpenFrozen());
    Choose(0);
    form->PageControl1->setCurrentIndex(2);
    dialogs.shown.clear();
    const int flashLines = form->RichEdit1->LineCount();
    form->ToolButton28->click();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("You are erasing FLASH and EEPROM. Would you continue?"));
    EXPECT_EQ(line->WaitSent(8, 5000), std::string("\x02" "C044,2\x03", 8));
    EXPECT_TRUE(windows.calls.empty()) << "an erase needs no transfer program";
    EXPECT_EQ(LastLine(form->RichEdit3), "Sending cleanup string...");
    EXPECT_EQ(form->RichEdit3->LineColor(form->RichEdit3->LineCount() - 1), clNavy);
    EXPECT_EQ(form->RichEdit1->LineCount(), flashLines);
    EXPECT_EQ(form->SelectedKind, ikFlash);
    EXPECT_FALSE(form->ToolBar3->isEnabled());

    ASSERT_TRUE(Receive("C044"));
    EXPECT_EQ(LastLine(form->RichEdit1), NewDownloadLine);
    EXPECT_EQ(LastLine(form->RichEdit3), "Sending cleanup string...");
    EXPECT_TRUE(form->ToolBar3->isEnabled());
    EXPECT_EQ(form->ReceiverState, rsFrozen);
}

// The image is checked again just before a run: a file that is no longer the one chosen and
// confirmed (longer, touched, replaced, gone) is not written, and the log says why.
TEST_F(RunTest, ImageChangedSinceItWasChosenIsNotWritten) {
    ASSERT_TRUE(OpenFrozen());
    const auto touch = [](const QString& path) {
        const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    };
    const std::string changed = ": it changed since it was chosen, choose it again...";
    const struct {
        const char* name;
        std::function<void(const QString&)> change;
        std::string reason;
    } cases[] = {
        {"longer", [](const QString& path) { QFile(path).resize(524289); }, changed},
        {"touched", touch, changed},
        {"replaced by one of the same size and time",
         [&](const QString& path) {
             const QByteArray other =
                 QFile::encodeName(MakeImage(images, QStringLiteral("other.bin"), 524288));
             struct stat chosen {};
             ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &chosen), 0);
             const timespec times[2] = {chosen.st_atim, chosen.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, other.constData(), times, 0), 0);
             ASSERT_EQ(::rename(other.constData(), QFile::encodeName(path).constData()), 0);
         },
         changed},
        {"gone", [](const QString& path) { QFile::remove(path); },
         ": No such file or directory..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Choose(0);
        c.change(path);
        windows.calls.clear();
        dialogs.answers = {true};
        form->ToolButton16->click();
        EXPECT_EQ(form->ReceiverState, rsFrozen);
        EXPECT_TRUE(form->ToolBar1->isEnabled());
        EXPECT_TRUE(windows.calls.empty()) << "no transfer program";
        EXPECT_EQ(line->TakeSent(), "");
        EXPECT_EQ(LastLine(form->RichEdit1), "Cannot load " + path.toStdString() + c.reason);
        EXPECT_EQ(form->RichEdit1->LineColor(form->RichEdit1->LineCount() - 1), clRed);
    }
}

TEST_F(RunTest, ProgramButtonsRefuseWithoutAFileOfTheirKind) {
    const struct {
        int chosenPage; // -1: nothing chosen
        TToolButton* button;
        int page;
        const char* line;
    } cases[] = {
        {-1, form->ToolButton16, 0, "Select a file to write in receiver..."},
        {0, form->ToolButton17, 1,
         "You haven't select a file to load in FIRMWARE. First select a valid file..."},
        {0, form->ToolButton18, 2,
         "You haven't select a file to load in E2PROM. First select a valid file..."},
        {2, form->ToolButton16, 0,
         "You haven't select a file to load in FLASH. First select a valid file..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        if (c.chosenPage >= 0)
            Choose(c.chosenPage);
        form->PageControl1->setCurrentIndex(c.page);
        dialogs.shown.clear();
        form->ToolButton16Click(c.button);
        TLogEdit* log = form->ActivePageLog();
        EXPECT_EQ(LastLine(log), c.line);
        EXPECT_EQ(log->LineColor(log->LineCount() - 1), clBlue);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(form->ReceiverState, rsIdle);
    }
    EXPECT_TRUE(windows.calls.empty());
}

TEST_F(RunTest, RefusingTheWarningOrTheConfirmationStartsNothing) {
    ASSERT_TRUE(OpenFrozen());
    Choose(1);
    const int lines = form->RichEdit2->LineCount();
    dialogs.shown.clear();
    dialogs.answers = {false};
    form->ToolButton17->click();
    ASSERT_EQ(dialogs.shown.size(), 1u) << "only the firmware warning";
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(
        QStringLiteral("In this way you will write firmware of your receiver")));
    EXPECT_EQ(form->RichEdit2->LineCount(), lines);

    Choose(0);
    dialogs.shown.clear();
    dialogs.answers = {false};
    form->ToolButton16->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(LastLine(form->RichEdit1),
              "Select a file to download and when ready press the program button...");
    EXPECT_EQ(form->RichEdit1->LineColor(form->RichEdit1->LineCount() - 1), clBlue);

    EXPECT_EQ(form->ReceiverState, rsFrozen);
    EXPECT_TRUE(form->ToolBar1->isEnabled());
    EXPECT_TRUE(windows.calls.empty());
    EXPECT_EQ(line->TakeSent(), "");
}

} // namespace
