// Whole writes end to end: the main window on its real port, opened on the receiver
// simulator's pseudo-terminal through the virtual ports folder, with the real transfer program
// Vell_par.exe delivering the image to the simulator. The simulator and the transfer program
// run as processes of their own; the window runs here, with its modal boxes answered through
// the dialog seam, since a window on the offscreen platform cannot be clicked from outside.
// The checks: the bytes the simulator saw on its line, the image it received, the log lines.

#include "Application.h"
#include "ChildProcessWindows.h"
#include "ComComboBox.h"
#include "ComPort.h"
#include "FailureReport.h"
#include "FakeDialogs.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "SDIAppForm.h"
#include "SettingsStore.h"
#include "ToolBar.h"
#include "ToolButton.h"
#include "ThreadStats.h"
#include "UiHandOver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <vector>

namespace {

bool PumpUntil(const std::function<bool()>& done, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// A line that reads `text`; the receiver's lines end in CR LF, which the log shows as a space.
bool HasLine(const TLogEdit* log, const std::string& text) {
    for (int i = 0; i < log->LineCount(); ++i)
        if (log->Line(i) == text || log->Line(i) == text + " ")
            return true;
    return false;
}

// CRC-32 as zlib and the crc32 tool compute it, as the simulator prints it.
uint32_t Crc32(const QByteArray& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

const std::string NewDownload = "Now your receiver can start a new download...";

class EndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // The simulator publishes its port where the window lists ports: our own folder.
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        InstallUiHandOver(); // as the program starts: port events and their failures
        SetUiFailureReporter([] { ReportCurrentException(); });

        simulator.setProgram(QStringLiteral(RECEIVER_SIM));
        simulator.setArguments({QStringLiteral("--name"), QStringLiteral("e2e0"),
                                QStringLiteral("--step"), QStringLiteral("20")});
        simulator.setProcessChannelMode(QProcess::MergedChannels);
        simulator.start();
        ASSERT_TRUE(simulator.waitForStarted(5000));
        const QString link = home.filePath(QStringLiteral("vell-writer/ports/e2e0"));
        ASSERT_TRUE(PumpUntil([&] { return QFileInfo(link).isSymLink(); }, 10))
            << "the simulator published no port";

        form = std::make_unique<TSDIAppForm>(services);
        form->DecPort->SetText(QStringLiteral("e2e0"));
        ASSERT_EQ(form->DecPort->Text(), QStringLiteral("e2e0")) << "the port list lacks it";
        form->Dec->SetPort("e2e0"); // as the settings do with the listed port at start-up
        const std::set<int> before = ThreadIds();
        form->ToolButton1Click(form->ToolButton1);
        ASSERT_TRUE(form->Dec->Connected());
        for (int id : ThreadIds())
            if (!before.count(id))
                startedThreads.push_back(id);
    }

    void TearDown() override {
        form.reset();
        SetUiFailureReporter(nullptr);
        if (simulator.state() != QProcess::NotRunning) {
            Command("quit");
            if (!simulator.waitForFinished(5000))
                simulator.kill();
        }
    }

    void Command(const char* line) {
        simulator.write(QByteArray(line) + '\n');
        simulator.waitForBytesWritten(2000);
    }

    // What the simulator has shown so far: what it sent and received, the image it got.
    const QByteArray& Transcript() {
        transcript += simulator.readAll();
        return transcript;
    }
    bool SimulatorSaw(const char* text) { return Transcript().contains(text); }

    // The receiver switched on with nothing chosen: frozen, ready for a file.
    void SwitchOnAndFreeze() {
        Command("on");
        ASSERT_TRUE(PumpUntil([&] { return form->ReceiverState == rsFrozen; }))
            << Transcript().toStdString();
        // "STX,EF81" and "DD51,ETX", in one read or two.
        EXPECT_TRUE(SimulatorSaw("53 54 58 2C 45 46 38 31"));
        EXPECT_TRUE(SimulatorSaw("44 44 35 31 2C 45 54 58"));
    }

    // An image of `size` bytes chosen on `page`; its CRC-32 as the simulator prints it.
    QString Choose(int page, qint64 size) {
        const QString path = home.filePath(QStringLiteral("image%1.bin").arg(page));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 131 + page) & 0xFF);
        file.write(bytes);
        file.close();
        form->PageControl1->setCurrentIndex(page);
        dialogs.openAnswer = path;
        form->FileOpen1Execute(form->ChooseButtons()[size_t(page)]);
        const uint32_t crc = Crc32(bytes);
        return QStringLiteral("size=%1 crc32=0x%2").arg(size).arg(qulonglong(crc), 8, 16, QChar(u'0'));
    }

    bool RunEnded(TLogEdit* log) {
        return PumpUntil([&] { return form->ReceiverState == rsFrozen && HasLine(log, NewDownload); });
    }

    QTemporaryDir home;
    QProcess simulator;
    QByteArray transcript;
    TFakeDialogs dialogs;
    TSettingsStore store{home.filePath(QStringLiteral("VellWriter.conf"))};
    TChildProcessWindows windows;
    TServices services{dialogs, store, windows};
    std::unique_ptr<TSDIAppForm> form;
    std::vector<int> startedThreads; // by opening the port: its event thread
};

TEST_F(EndToEndTest, ImagesOfEachKindAreWrittenThroughTheTransferProgram) {
    SwitchOnAndFreeze();
    const struct {
        int page;
        qint64 size;
        TToolButton* TSDIAppForm::*program;
        const char* command;
        const char* end;
    } runs[] = {
        {0, 524288, &TSDIAppForm::ToolButton16, "02 43 30 34 32 2C 35 03", "Write ok C042"},
        {1, 1024000, &TSDIAppForm::ToolButton17, "02 43 32 34 36 2C 32 03", "Write ok C246"},
        {2, 4096, &TSDIAppForm::ToolButton18, "02 43 30 34 33 2C 35 03", "Write ok C043"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.page);
        const QString image = Choose(run.page, run.size);
        TLogEdit* log = form->Logs()[size_t(run.page)];
        log->Clear();
        dialogs.answers = {true, true}; // the FIRMWARE warning, then the confirmation
        (form.get()->*run.program)->click();
        ASSERT_TRUE(RunEnded(log)) << Transcript().toStdString();
        EXPECT_TRUE(SimulatorSaw(run.command));
        EXPECT_TRUE(Transcript().contains(("image received: " + image).toLatin1()))
            << "the transfer program delivered another image";
        EXPECT_TRUE(HasLine(log, run.end));
        EXPECT_TRUE(form->Timer1->isActive() == false);
        EXPECT_FALSE(windows.IsWindow(form->ExternalWindow)) << "the transfer program was closed";
    }
}

TEST_F(EndToEndTest, EraseSendsItsCommandAndEndsOnTheReceiversAnswer) {
    SwitchOnAndFreeze();
    form->ToolButton19->click();
    ASSERT_TRUE(RunEnded(form->RichEdit1)) << Transcript().toStdString();
    EXPECT_TRUE(SimulatorSaw("<- port 8 bytes: 02 43 30 34 34 2C 32 03"));
    EXPECT_TRUE(HasLine(form->RichEdit1, "Erase done C044"));
}

TEST_F(EndToEndTest, FailedWriteIsToldBeforeTheEnd) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("fail");
    form->ToolButton16->click();
    ASSERT_TRUE(RunEnded(form->RichEdit1)) << Transcript().toStdString();
    TLogEdit* log = form->RichEdit1;
    EXPECT_EQ(log->Line(log->LineCount() - 2),
              "Something goes wrong on writing data: maybe increase \"Send comand delay\"...");
}

TEST_F(EndToEndTest, StalledReceiverLeavesTheWatchdogToEndTheRun) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("stall download");
    form->ToolButton16->click();
    ASSERT_TRUE(PumpUntil([&] { return SimulatorSaw("Download started"); }));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->RichEdit1, "Download started"); }));
    // Silence from here on: the watchdog runs, and its 30 s end the run (called, not waited).
    EXPECT_TRUE(form->Timer2->isActive());
    form->Timer2Timer(form->Timer2);
    EXPECT_EQ(form->RichEdit1->Line(form->RichEdit1->LineCount() - 1),
              "Receiver cannot continue download. Check cable connection and return receiver on...");
    EXPECT_EQ(form->ReceiverState, rsFrozen);
    EXPECT_TRUE(form->ToolBar1->isEnabled());
}

TEST_F(EndToEndTest, ReceiverSwitchedOffAndOnDuringARunStartsOver) {
    SwitchOnAndFreeze();
    Choose(0, 524288);
    Command("stall alloc");
    form->ToolButton16->click();
    ASSERT_TRUE(PumpUntil([&] { return form->ReceiverState == rsRunning &&
                                       SimulatorSaw("Memory Alocation"); }));
    Command("off");
    Command("on");
    // The start string clears the log and is answered again; the receiver freezes anew.
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->RichEdit1, "Received start string..."); }));
    EXPECT_EQ(form->RichEdit1->Line(0), "Received start string...");
    ASSERT_TRUE(PumpUntil([&] { return HasLine(form->RichEdit1, "Receiver \"freeze\"..."); }));
}

TEST_F(EndToEndTest, VanishedReceiverIsReportedAndNothingSpins) {
    TApplication::Instance()->SetDialogs(&dialogs);
    SwitchOnAndFreeze();
    // Opening the port started the event thread (and, on a real serial device, a modem-line
    // watcher, which on a pseudo-terminal ends at once).
    std::vector<int> running;
    for (int id : startedThreads)
        if (QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(id)))
            running.push_back(id);
    ASSERT_EQ(running.size(), 1u);
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
    form->ToolButton1Click(form->ToolButton1); // closing a vanished port still works
    EXPECT_FALSE(form->Dec->Connected());
    TApplication::Instance()->SetDialogs(nullptr);
}

} // namespace
