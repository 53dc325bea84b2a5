// Whole writes through Wine: the window here, as in the other end-to-end tests, with the
// program's own choice of form; the window bridge and the 32-bit Windows stand-in Vell_par.exe
// under Wine on a virtual screen; the stand-in delivers the image to the simulator over
// loopback TCP, or over the parallel cable: LPT1 mapped to the simulator's FIFO. One Wine
// session serves each suite. Skipped without Wine, Xvfb or the mingw-w64 build.

#include "external/WineRouteCheck.h"
#include "tests/e2e/EndToEndHarness.h"
#include "tests/support/WineSession.h"

#include <QRegularExpression>
#include <filesystem>
#include <functional>
#include <memory>

using namespace EndToEnd;

namespace {

WineTest::TWineSession* Session = nullptr;
std::string Missing;
std::string SessionFailure;

// The suite's session, made by `make`; the bridge is started by the window, in this process's
// environment, so the session's environment becomes this process's.
void OpenSession(const std::function<WineTest::TWineSession*()>& make) {
    Missing = WineTest::TWineSession::Missing(WineTest::TWineSession::WindowPrograms());
    if (!Missing.empty())
        return;
    try {
        Session = make();
    } catch (const std::exception& failure) {
        SessionFailure = failure.what();
        return;
    }
    for (const auto& [name, value] : Session->Environment())
        if (value)
            qputenv(name.c_str(), QByteArray::fromStdString(*value));
        else
            qunsetenv(name.c_str());
    WineSetup.Bridge = WineTest::TWineSession::BridgeProgram("i686");
    // The program's own check, on the session's prefix: a sound prefix gives no finding.
    WineSetup.RouteCheck = [](const std::string& program) {
        return WineRouteFindings(program, WinePrefixFolder());
    };
}

void CloseSession() {
    delete Session;
    Session = nullptr;
    WineSetup = {};
    SessionFailure.clear();
}

class WineEndToEndTest : public TEndToEndTest {
protected:
    static void SetUpTestSuite() {
        OpenSession([] { return new WineTest::TWineSession; });
    }
    static void TearDownTestSuite() { CloseSession(); }

    void SetUp() override {
        if (!Missing.empty())
            GTEST_SKIP() << Missing;
        ASSERT_EQ(SessionFailure, "");
        TEndToEndTest::SetUp();
        // The program's folder, with a space and a letter beyond ASCII in its name.
        ASSERT_TRUE(QDir().mkpath(programs));
        InstallTransferProgram(WineTest::TWineSession::StandInProgram("i686"));
        form->Dialogue().SetAppDir((programs + u'/').toStdString());
        qputenv("VELL_STANDIN_RECORD", home.filePath(QStringLiteral("record")).toUtf8());
    }

    void InstallTransferProgram(const std::string& file) {
        const QString program = programs + QStringLiteral("/Vell_par.exe");
        QFile::remove(program);
        ASSERT_TRUE(QFile::copy(QString::fromStdString(file), program));
    }

    // What the stand-in saw, one line per event.
    std::vector<std::string> Record() {
        return WineTest::ReadLines(home.filePath(QStringLiteral("record")).toStdString());
    }

    // The Windows name of a file of the test's, as Wine's Z: drive shows it.
    std::string WinePath(const QString& path) {
        return TWineWindows::WinePath(path.toStdString(), {});
    }

    // Nothing told the receiver to write, and the run is over.
    void ExpectUnsentRun(const std::string& why) {
        const QString program = programs + QStringLiteral("/Vell_par.exe");
        EXPECT_EQ(form->Logs()[0]->Line(form->Logs()[0]->LineCount() - 1),
                  "The transfer program " + program.toLatin1().toStdString() + " " + why +
                      ". Nothing was sent to the receiver."); // the log's text is 8-bit
        EXPECT_FALSE(SimulatorSaw("02 43 30 34 32 2C 35 03")) << "a command on the line";
        EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
        EXPECT_TRUE(Child<TToolBar>(*form, "ToolBar1")->isEnabled());
        EXPECT_FALSE(Child<QTimer>(*form, "Timer1")->isActive());
    }

    const QString programs = home.filePath(QStringLiteral("Vell Writer é"));
};

TEST_F(WineEndToEndTest, FlashWriteThroughTheWindowBridgeAndTheStandIn) {
    SwitchOnAndFreeze();
    const QString crc = Choose(0, 524288, QStringLiteral("Bilder für mich/flash ü 1.bin"));
    form->RunButtons()[0]->click();
    ASSERT_TRUE(RunEnded(form->Logs()[0])) << Transcript().toStdString();
    EXPECT_TRUE(SimulatorSaw("02 43 30 34 32 2C 35 03"));
    EXPECT_TRUE(SimulatorSaw(("image received: " + crc).toUtf8().constData()))
        << Transcript().toStdString();
    EXPECT_FALSE(wineWindows.IsWindow(form->Dialogue().ExternalWindow()));

    // The stand-in's side: minimised, clicked inside its input, the path pasted, closed.
    const std::vector<std::string> record = Record();
    ASSERT_GE(record.size(), 6u);
    const QRegularExpressionMatch window =
        QRegularExpression(QStringLiteral("^window (\\d+) input (\\d+) (\\d+) (\\d+)$"))
            .match(QString::fromStdString(record[0]));
    ASSERT_TRUE(window.hasMatch()) << record[0];
    EXPECT_EQ(record[1], "shown minimised");
    EXPECT_EQ(record[2], "foreground yes");
    EXPECT_EQ(form->Dialogue().ExternalWindow(), window.captured(1).toLongLong());
    const QRegularExpressionMatch click =
        QRegularExpression(QStringLiteral("^click (\\d+) (\\d+) 1$"))
            .match(QString::fromStdString(record[3]));
    ASSERT_TRUE(click.hasMatch()) << record[3];
    EXPECT_LT(click.captured(1).toInt(), window.captured(3).toInt());
    EXPECT_LT(click.captured(2).toInt(), window.captured(4).toInt());
    EXPECT_EQ(record[4], "paste " + WinePath(form->FileDialog().FileName));
    EXPECT_EQ(record[5], "delivered 524288 " + crc.section(u'x', 1).toStdString());
    EXPECT_EQ(record.back(), "close");
}

TEST_F(WineEndToEndTest, WatchdogClosesTheStandIn) {
    SwitchOnAndFreeze();
    Command("stall");
    Choose(0, 4096);
    form->RunButtons()[0]->click();
    ASSERT_TRUE(PumpUntil([&] { return Child<QTimer>(*form, "Timer2")->isActive(); }))
        << Transcript().toStdString();
    ASSERT_TRUE(wineWindows.IsWindow(form->Dialogue().ExternalWindow()));
    form->Timer2Timer(Child<QTimer>(*form, "Timer2")); // its 30 s, called rather than waited for
    EXPECT_EQ(form->Logs()[0]->Line(form->Logs()[0]->LineCount() - 1),
              "Receiver cannot continue download. Check cable connection and return receiver "
              "on...");
    EXPECT_FALSE(wineWindows.IsWindow(form->Dialogue().ExternalWindow()));
    EXPECT_EQ(Record().back(), "close");
}

TEST_F(WineEndToEndTest, MissingWineOrAStandInThatEndsAtOnceSendsNoCommand) {
    SwitchOnAndFreeze();
    Choose(0, 4096);
    {
        SCOPED_TRACE("no Wine on the PATH");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", home.filePath(QStringLiteral("no wine here")).toUtf8());
        form->RunButtons()[0]->click();
        qputenv("PATH", path);
        ExpectUnsentRun("cannot be started: it is a Windows program, and Wine is not installed "
                        "to run it (install the packages wine and wine32)");
    }
    {
        SCOPED_TRACE("a Windows program that ends at once");
        // The bridge itself: started without its standard input, it ends at once.
        InstallTransferProgram(WineTest::TWineSession::BridgeProgram("i686"));
        form->RunButtons()[0]->click();
        ExpectUnsentRun("showed no window");
    }
}

// A transfer program that imports a port-access library cannot write under Wine: the run
// names the library and asks, No by default; No sends the receiver nothing.
TEST_F(WineEndToEndTest, PortAccessProgramIsToldAndNoSendsNothing) {
    SwitchOnAndFreeze();
    Choose(0, 4096);
    InstallTransferProgram(
        WineTest::TWineSession::Program("i686", "transfer-win/inpout/Vell_par.exe"));
    dialogs.answers = {false};
    dialogs.shown.clear();
    form->RunButtons()[0]->click();
    ASSERT_FALSE(dialogs.shown.empty());
    const TFakeDialogs::Shown& question = dialogs.shown.front();
    EXPECT_EQ(question.caption, QStringLiteral("Attention"));
    EXPECT_EQ(question.icon, TMsgIcon::Warning);
    EXPECT_EQ(question.preset, TMsgDefault::No);
    EXPECT_TRUE(question.text.contains(QStringLiteral("inpout32.dll")))
        << question.text.toStdString();
    TLogEdit& log = *form->Logs()[0];
    EXPECT_EQ(log.Line(log.LineCount() - 1), "Nothing was sent to the receiver.");
    EXPECT_NE(log.Line(log.LineCount() - 2).find("inpout32.dll"), std::string::npos);
    EXPECT_FALSE(SimulatorSaw("02 43 30 34 32 2C 35 03")) << "a command on the line";
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
    EXPECT_TRUE(Child<TToolBar>(*form, "ToolBar1")->isEnabled());
}

// A transfer program that drives the port with its own instructions is stopped by them; the
// failed run names why.
TEST_F(WineEndToEndTest, ProgramStoppedAtAPortInstructionIsNamed) {
    SwitchOnAndFreeze();
    Command("stall");
    Choose(0, 4096);
    qputenv("VELL_STANDIN_CABLE", "ports");
    form->RunButtons()[0]->click();
    qunsetenv("VELL_STANDIN_CABLE");
    ASSERT_TRUE(PumpUntil([&] { return wineWindows.ExitStatus().has_value(); }))
        << Transcript().toStdString();
    EXPECT_EQ(wineWindows.ExitStatus(), Win::STATUS_PRIVILEGED_INSTRUCTION);
    ASSERT_TRUE(PumpUntil([&] { return Child<QTimer>(*form, "Timer2")->isActive(); }));
    form->Timer2Timer(Child<QTimer>(*form, "Timer2"));
    TLogEdit& log = *form->Logs()[0];
    EXPECT_NE(log.Line(log.LineCount() - 1).find("which Wine does not allow"), std::string::npos);
}

// The parallel cable: the prefix of its own maps LPT1 to a link that each test points at its
// simulator's FIFO (and back at /dev/null after it), so Wine's server need not restart.
const std::string LptPrefix = WineTest::TWineSession::Prefix() + "-lpt";
const std::string LptCable = LptPrefix + "-cable";

void PointCable(const std::string& target) {
    const std::string staged = LptCable + ".new";
    std::filesystem::remove(staged);
    std::filesystem::create_symlink(target, staged);
    std::filesystem::rename(staged, LptCable);
}

class WineLptEndToEndTest : public WineEndToEndTest {
protected:
    static void SetUpTestSuite() {
        OpenSession([] {
            PointCable("/dev/null");
            return new WineTest::TWineSession(LptPrefix, {"--lpt", LptCable});
        });
    }
    static void TearDownTestSuite() { CloseSession(); }

    void SetUp() override {
        WineEndToEndTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        PointCable(home.filePath(QStringLiteral("vell-writer/ports/e2e0.lpt")).toStdString());
        qputenv("VELL_STANDIN_CABLE", "LPT1");
    }
    void TearDown() override {
        qunsetenv("VELL_STANDIN_CABLE");
        if (Session != nullptr)
            PointCable("/dev/null");
        WineEndToEndTest::TearDown();
    }
    QStringList SimulatorOptions() const override { return {QStringLiteral("--lpt")}; }
};

TEST_F(WineLptEndToEndTest, FlashWriteThroughTheParallelCable) {
    SwitchOnAndFreeze();
    const QString crc = Choose(0, 524288);
    form->RunButtons()[0]->click();
    ASSERT_TRUE(RunEnded(form->Logs()[0])) << Transcript().toStdString();
    EXPECT_TRUE(SimulatorSaw("parallel cable: the writer closed after 524288 bytes"))
        << Transcript().toStdString();
    EXPECT_TRUE(SimulatorSaw(("image received: " + crc).toUtf8().constData()));
    const std::vector<std::string> record = Record();
    EXPECT_NE(std::find(record.begin(), record.end(),
                        "delivered 524288 " + crc.section(u'x', 1).toStdString()),
              record.end());
}

} // namespace
