// Faults around a whole write: the port held by another running copy of the program, and the
// chosen image gone or turned into a folder by the time it is written.

#include "tests/e2e/EndToEndHarness.h"

#include <QProcessEnvironment>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

using namespace EndToEnd;

namespace {

// What child processes print while it lives: the transfer program tells its status on the
// standard output it inherits from us.
class TStdoutCapture {
public:
    TStdoutCapture() {
        EXPECT_TRUE(m_file.open());
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~TStdoutCapture() {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }
    QByteArray Text() {
        QFile file(m_file.fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

int Count(const QByteArray& text, const char* part) {
    return int(text.count(part));
}

class FaultEndToEndTest : public TEndToEndTest {
protected:
    void SetUp() override {
        TEndToEndTest::SetUp();
        TApplication::Instance()->SetDialogs(&dialogs); // failure reports as recorded boxes
    }
    void TearDown() override {
        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished(5000);
        }
        TApplication::Instance()->SetDialogs(nullptr);
        TEndToEndTest::TearDown();
    }

    // A second copy of the program, set to open the simulator's port as it starts.
    void StartHolder() {
        const QString config = home.filePath(QStringLiteral("holder-config"));
        TSettingsStore settings(config + QStringLiteral("/VellWriter/VellWriter.conf"));
        settings.OpenKey(QStringLiteral("Software\\VellWriter"), true);
        const std::pair<const char*, int32_t> values[] = {
            {"ComPort", form->PortList().currentIndex()},
            {"FullCom", 0},
            {"ComStatus", 0},
            {"ConfLoad", 1},
            {"Freeze", 1},
            {"Startup", 1},
            {"Delay", 500}};
        for (const auto& [name, value] : values)
            settings.WriteInteger(QLatin1String(name), value);
        settings.CloseKey();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        holder.setProcessEnvironment(environment);
        holder.setProcessChannelMode(QProcess::MergedChannels);
        holder.start(QStringLiteral(VELL_WRITER), {});
        ASSERT_TRUE(holder.waitForStarted(5000));
    }

    QProcess holder;
};

TEST_F(FaultEndToEndTest, PortHeldByAnotherCopyIsRefusedAndTheHolderGoesOn) {
    form->PortButtons()[0]->click(); // our copy lets the port go...
    ASSERT_FALSE(form->Port().Connected());
    const char* const answer = "53 54 58 2C 45 46 38 31"; // "STX,EF81"
    Command("on"); // ...the start string waits in the terminal for whoever opens it next
    StartHolder();
    ASSERT_TRUE(PumpUntil([&] { return SimulatorSaw(answer); }))
        << "the other copy did not take the port: " << holder.readAll().toStdString();

    dialogs.shown.clear();
    form->PortButtons()[0]->click();
    EXPECT_FALSE(form->Port().Connected());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].icon, TMsgIcon::Error);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Unable to open com port (win error code: 5)"));
    for (TToolButton* button : form->PortButtons())
        EXPECT_FALSE(button->Down());

    // The holder still has the port and serves the receiver when it starts again (after a
    // second, as a receiver does: the holder must have taken the acknowledgement by itself).
    const int answered = Count(Transcript(), answer);
    Command("wait 1000");
    Command("on");
    EXPECT_TRUE(PumpUntil([&] { return Count(Transcript(), answer) > answered; }))
        << Transcript().toStdString() << "\n--- holder:\n"
        << holder.readAll().toStdString();
    EXPECT_EQ(holder.state(), QProcess::Running);

    // Once it has gone, the port is ours again.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    form->PortButtons()[0]->click();
    EXPECT_TRUE(form->Port().Connected());
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

// The window measures the image when it is chosen and again just before the run, and never
// reads it; gone once the run has started (before the transfer program is handed its path),
// the transfer program reads it and says it cannot, and the receiver then waits for an image
// that does not come until the watchdog ends the run.
TEST_F(FaultEndToEndTest, ImageGoneBeforeTheWriteEndsByTheWatchdog) {
    const struct {
        const char* what;
        void (*spoil)(const QString& path);
    } cases[] = {
        {"removed", [](const QString& path) { ASSERT_TRUE(QFile::remove(path)); }},
        {"made a folder",
         [](const QString& path) {
             ASSERT_TRUE(QFile::remove(path));
             ASSERT_TRUE(QDir().mkdir(path));
         }},
    };
    SwitchOnAndFreeze();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Choose(0, 524288);
        const QString path = form->FileDialog().FileName;
        const int images = Count(Transcript(), "image received");
        TStdoutCapture output;
        form->RunButtons()[0]->click();
        ASSERT_EQ(form->Dialogue().ReceiverState(), rsRunning);
        c.spoil(path); // the path is pasted only once the window serves its events again
        ASSERT_TRUE(PumpUntil([&] { return output.Text().contains("Vell_par: Cannot read"); }))
            << output.Text().toStdString();
        ASSERT_TRUE(PumpUntil([&] { return Child<QTimer>(*form, "Timer2")->isActive(); }))
            << "the receiver's memory allocation started no watchdog";
        form->Timer2Timer(
            Child<QTimer>(*form, "Timer2")); // its 30 s, called rather than waited for
        EXPECT_EQ(form->Logs()[0]->Line(form->Logs()[0]->LineCount() - 1),
                  "Receiver cannot continue download. Check cable connection and return "
                  "receiver on...");
        EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
        EXPECT_TRUE(Child<TToolBar>(*form, "ToolBar1")->isEnabled());
        EXPECT_FALSE(windows.IsWindow(form->Dialogue().ExternalWindow()))
            << "the transfer program was closed";
        EXPECT_EQ(Count(Transcript(), "image received"), images);
        EXPECT_TRUE(dialogs.shown.size() <= 1u) << "only the confirmation was asked";

        // The receiver waits for its image still: switched off and on, it is held again.
        QDir(path).removeRecursively();
        QFile::remove(path);
        dialogs.answers = {false}; // no run from the freeze this time
        Command("off");
        Command("on");
        ASSERT_TRUE(PumpUntil([&] {
            return HasLine(form->Logs()[0],
                           "Select a file to download and when ready press the program button...");
        }));
        dialogs.shown.clear();
    }
}

} // namespace
