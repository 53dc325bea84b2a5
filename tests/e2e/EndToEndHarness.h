#pragma once
// Whole writes end to end: the main window on its real port, opened on the receiver
// simulator's pseudo-terminal through the virtual ports folder, with the real transfer program
// Vell_par.exe delivering the image to the simulator. The simulator and the transfer program
// run as processes of their own; the window runs here, with its modal boxes answered through
// the dialog seam, since a window on the offscreen platform cannot be clicked from outside.

#include "app/Application.h"
#include "app/FailureReport.h"
#include "app/LogEdit.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "app/ToolBar.h"
#include "app/ToolButton.h"
#include "controls/ComComboBox.h"
#include "controls/UiHandOver.h"
#include "external/ChildProcessWindows.h"
#include "external/TransferWindows.h"
#include "external/WineWindows.h"
#include "serial/ComPort.h"
#include "tests/app/FakeDialogs.h"
#include "tests/app/WindowHarness.h"
#include "tests/support/Crc32.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/ThreadStats.h"

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

namespace EndToEnd {

using namespace std::chrono_literals;
using TestSupport::Crc32;
using TestSupport::PumpUntil;

// A line that reads `text`; the receiver's lines end in CR LF, which the log shows as a space.
inline bool HasLine(const TLogEdit* log, const std::string& text) {
    for (int i = 0; i < log->LineCount(); ++i)
        if (log->Line(i) == text || log->Line(i) == text + " ")
            return true;
    return false;
}

inline const std::string NewDownload = "Now your receiver can start a new download...";

// How a test's window runs a Windows transfer program: the window bridge it is given.
inline TWineSetup WineSetup;

class TEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // The simulator publishes its port where the window lists ports: our own folder.
        qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
        InstallUiHandOver(); // as the program starts: port events and their failures
        SetUiFailureReporter([] { ReportCurrentException(); });

        simulator.setProgram(QStringLiteral(RECEIVER_SIM));
        simulator.setArguments({QStringLiteral("--name"), QStringLiteral("e2e0"),
                                QStringLiteral("--step"), QString::number(StepMs())});
        simulator.setArguments(simulator.arguments() + SimulatorOptions());
        simulator.setProcessChannelMode(QProcess::MergedChannels);
        simulator.start();
        ASSERT_TRUE(simulator.waitForStarted(5000));
        const QString link = home.filePath(QStringLiteral("vell-writer/ports/e2e0"));
        ASSERT_TRUE(PumpUntil([&] { return QFileInfo(link).isSymLink(); }, 10s))
            << "the simulator published no port";

        form = std::make_unique<TSDIAppForm>(services);
        form->PortList().SetText(QStringLiteral("e2e0"));
        ASSERT_EQ(form->PortList().Text(), QStringLiteral("e2e0")) << "the port list lacks it";
        form->Port().SetPort("e2e0"); // as the settings do with the listed port at start-up
        const std::set<int> before = ThreadIds();
        form->ToolButton1Click(form->PortButtons()[0]);
        ASSERT_TRUE(form->Port().Connected());
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

    // The pause between the simulated receiver's text lines.
    virtual int StepMs() const { return 20; }
    // More of the simulator's options.
    virtual QStringList SimulatorOptions() const { return {}; }

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
        ASSERT_TRUE(PumpUntil([&] { return form->Dialogue().ReceiverState() == rsFrozen; }))
            << Transcript().toStdString();
        // "STX,EF81" and "DD51,ETX", in one read or two. The simulator's account of them comes
        // through its output pipe, which may be behind the port.
        EXPECT_TRUE(PumpUntil([&] { return SimulatorSaw("53 54 58 2C 45 46 38 31"); }));
        EXPECT_TRUE(PumpUntil([&] { return SimulatorSaw("44 44 35 31 2C 45 54 58"); }));
    }

    // An image of `size` bytes chosen on `page` (named `name` in the test's folder); its CRC-32
    // as the simulator prints it.
    QString Choose(int page, qint64 size, QString name = {}) {
        if (name.isEmpty())
            name = QStringLiteral("image%1.bin").arg(page);
        const QString path = home.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 131 + page) & 0xFF);
        file.write(bytes);
        file.close();
        Child<TPageControl>(*form, "PageControl1")->setCurrentIndex(page);
        dialogs.openAnswer = path;
        form->FileOpen1Execute(form->ChooseButtons()[size_t(page)]);
        const uint32_t crc = Crc32({bytes.constData(), size_t(bytes.size())});
        return QStringLiteral("size=%1 crc32=0x%2")
            .arg(size)
            .arg(qulonglong(crc), 8, 16, QChar(u'0'));
    }

    bool RunEnded(TLogEdit* log) {
        return PumpUntil([&] {
            return form->Dialogue().ReceiverState() == rsFrozen && HasLine(log, NewDownload);
        });
    }

    QTemporaryDir home;
    QProcess simulator;
    QByteArray transcript;
    TFakeDialogs dialogs;
    TSettingsStore store{home.filePath(QStringLiteral("VellWriter.conf"))};
    // As the program has them: a child process, or Wine for a Windows program.
    TChildProcessWindows windows;
    TWineWindows wineWindows{WineSetup};
    TTransferWindows chosenWindows{windows, wineWindows};
    TServices services{dialogs, store, chosenWindows};
    std::unique_ptr<TSDIAppForm> form;
    std::vector<int> startedThreads; // by opening the port: its event thread
};

} // namespace EndToEnd
