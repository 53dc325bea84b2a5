// Whole writes end to end (EndToEndHarness.h): the bytes the simulator saw on its line, the
// image it received, the log lines.

#include "tests/e2e/EndToEndHarness.h"

#include <unistd.h>

using namespace EndToEnd;

namespace {

class EndToEndTest : public TEndToEndTest {};

TEST_F(EndToEndTest, ImagesOfEachKindAreWrittenThroughTheTransferProgram) {
    SwitchOnAndFreeze();
    const struct {
        int page;
        qint64 size;
        const char* program; // the page's program button
        const char* command;
        const char* end;
    } runs[] = {
        {0, 524288, "ToolButton16", "02 43 30 34 32 2C 35 03", "Write ok C042"},
        {1, 1024000, "ToolButton17", "02 43 32 34 36 2C 32 03", "Write ok C246"},
        {2, 4096, "ToolButton18", "02 43 30 34 33 2C 35 03", "Write ok C043"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.page);
        const QString image = Choose(run.page, run.size);
        TLogEdit* log = form->Logs()[size_t(run.page)];
        log->Clear();
        dialogs.answers = {true, true}; // the FIRMWARE warning, then the confirmation
        Child<TToolButton>(*form, run.program)->click();
        ASSERT_TRUE(RunEnded(log)) << Transcript().toStdString();
        EXPECT_TRUE(SimulatorSaw(run.command));
        EXPECT_TRUE(Transcript().contains(("image received: " + image).toLatin1()))
            << "the transfer program delivered another image";
        EXPECT_TRUE(HasLine(log, run.end));
        EXPECT_TRUE(Child<QTimer>(*form, "Timer1")->isActive() == false);
        EXPECT_FALSE(windows.IsWindow(form->Dialogue().ExternalWindow()))
            << "the transfer program was closed";
    }
}

TEST_F(EndToEndTest, EraseSendsItsCommandAndEndsOnTheReceiversAnswer) {
    SwitchOnAndFreeze();
    form->RunButtons()[3]->click();
    ASSERT_TRUE(RunEnded(form->Logs()[0])) << Transcript().toStdString();
    EXPECT_TRUE(SimulatorSaw("<- port 8 bytes: 02 43 30 34 34 2C 32 03"));
    EXPECT_TRUE(HasLine(form->Logs()[0], "Erase done C044"));
}

TEST_F(EndToEndTest, FailedWriteIsToldBeforeTheEnd) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("fail");
    form->RunButtons()[0]->click();
    ASSERT_TRUE(RunEnded(form->Logs()[0])) << Transcript().toStdString();
    TLogEdit* log = form->Logs()[0];
    EXPECT_EQ(log->Line(log->LineCount() - 2),
              "Something goes wrong on writing data: maybe increase \"Send comand delay\"...");
}

TEST_F(EndToEndTest, StalledReceiverLeavesTheWatchdogToEndTheRun) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("stall download");
    form->RunButtons()[0]->click();
    ASSERT_TRUE(PumpUntil([&] { return SimulatorSaw("Download started"); }));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->Logs()[0], "Download started"); }));
    // Silence from here on: the watchdog runs, and its 30 s end the run (called, not waited).
    EXPECT_TRUE(Child<QTimer>(*form, "Timer2")->isActive());
    form->Timer2Timer(Child<QTimer>(*form, "Timer2"));
    EXPECT_EQ(
        form->Logs()[0]->Line(form->Logs()[0]->LineCount() - 1),
        "Receiver cannot continue download. Check cable connection and return receiver on...");
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
    EXPECT_TRUE(Child<TToolBar>(*form, "ToolBar1")->isEnabled());
}

TEST_F(EndToEndTest, ReceiverSwitchedOffAndOnDuringARunStartsOver) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("stall alloc");
    form->RunButtons()[0]->click();
    ASSERT_TRUE(PumpUntil([&] {
        return form->Dialogue().ReceiverState() == rsRunning && SimulatorSaw("Memory Alocation");
    }));
    Command("off");
    Command("on");
    // The start string clears the log and is answered again; the receiver freezes anew.
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->Logs()[0], "Received start string..."); }));
    EXPECT_EQ(form->Logs()[0]->Line(0), "Received start string...");
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->Logs()[0], "Receiver \"freeze\"..."); }));
}

TEST_F(EndToEndTest, VanishedReceiverIsReportedAndNothingSpins) {
    TApplication::Instance()->SetDialogs(&dialogs);
    SwitchOnAndFreeze();
    // Opening the port started the event thread (and, on a real serial device, a modem-line
    // watcher, which on a pseudo-terminal ends at once, if not always before we look). The
    // toolkit may have started threads of its own meanwhile: they carry their own names.
    const std::string program = ThreadName(int(getpid()));
    std::vector<int> running;
    const auto ours = [&] {
        running.clear();
        for (int id : startedThreads)
            if (QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(id)) &&
                ThreadName(id) == program)
                running.push_back(id);
        return running.size() == 1;
    };
    ASSERT_TRUE(PumpUntil(ours, 5s)) << running.size() << " threads of ours";
    const int eventThread = running.front();
    Command("vanish");
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& box : dialogs.shown)
            if (box.icon == TMsgIcon::Error)
                return true;
        return false;
    })) << "the vanished port was not reported";
    // The window goes on answering, and the event thread sleeps.
    const long switches = ContextSwitches(eventThread);
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    // A spinning thread would switch thousands of times in these 200 ms.
    EXPECT_LE(ContextSwitches(eventThread) - switches, 2);
    form->ToolButton1Click(form->PortButtons()[0]); // closing a vanished port still works
    EXPECT_FALSE(form->Port().Connected());
    TApplication::Instance()->SetDialogs(nullptr);
}

} // namespace
