// The line failing under the window: the adapter pulled while the program writes to it, the
// far end hanging up and coming back under the same port name, and the receiver talking on
// while the window goes. The window must report, keep what it showed, stay usable and let the
// user open the port again.

#include "app/Application.h"
#include "app/FailureReport.h"
#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "app/ToolBar.h"
#include "serial/ThreadSync.h"
#include "serial/UiEventWait.h"
#include "tests/app/DialogueHarness.h"
#include "tests/support/PtyPair.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Dialogue;

namespace {

bool ShownError(const TFakeDialogs& dialogs, const QString& text) {
    for (const auto& box : dialogs.shown)
        if (box.icon == TMsgIcon::Error && box.text == text)
            return true;
    return false;
}

// Failure reports, of handlers and of port events alike, are boxes as in the program: here
// boxes of the fake dialogs.
class ReportedFailures {
public:
    explicit ReportedFailures(TDialogs& dialogs) : m_earlier(TApplication::Instance()->Dialogs()) {
        TApplication::Instance()->SetDialogs(&dialogs);
        SetUiFailureReporter([] { ReportCurrentException(); });
    }
    ~ReportedFailures() {
        SetUiFailureReporter(nullptr);
        TApplication::Instance()->SetDialogs(m_earlier);
    }

private:
    TDialogs* m_earlier;
};

class LineFaultTest : public TDialogueTest {
protected:
    ReportedFailures reports{dialogs};
};

TEST_F(LineFaultTest, AdapterPulledWhileTheCommandIsWritten) {
    ASSERT_TRUE(OpenFrozen());
    QTemporaryDir images;
    dialogs.openAnswer = MakeImage(images, QStringLiteral("flash.bin"), 524288);
    form->FileOpen1Execute(form->ChooseButtons()[0]);
    const std::vector<std::string> before = Lines(form->Logs()[0]);
    // The command's write stalls as under flow control; the adapter goes while it waits.
    line->HoldOutput(true);
    std::thread puller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        line->Unplug();
    });
    dialogs.shown.clear();
    form->RunButtons()[0]->click();
    puller.join();

    EXPECT_TRUE(
        ShownError(dialogs, QStringLiteral("WriteFile function failed (win error code: 22)")));
    const std::vector<std::string> after = Lines(form->Logs()[0]);
    ASSERT_GE(after.size(), before.size());
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + long(before.size())), before);
    EXPECT_EQ(LastLine(form->Logs()[0]), before.back()) << "a command that failed is not logged";
    // No run is left under way that nothing would ever end: the tool bar and pages are free.
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
    EXPECT_TRUE(Child<TToolBar>(*form, "ToolBar1")->isEnabled());
    EXPECT_FALSE(Child<QTimer>(*form, "Timer1")->isActive());
    // The window can still be left, its options saved.
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(QFile::exists(harness.store.FileName()));
}

// The window is destroyed while the receiver still talks, or as the watchdog comes due. The
// port's close serves the chunk its event thread has handed over, and the lamps let the
// watchdog's timer run as they show the lines going off: the handlers run with the logs gone,
// which crashed the window. The chunk is read and dropped; nothing is reported.
TEST_F(LineFaultTest, ChunkOrWatchdogWhileTheWindowIsDestroyed) {
    for (const bool chunk : {true, false}) {
        SCOPED_TRACE(chunk ? "a chunk handed over" : "the watchdog due");
        // The chunk comes through the event thread's hand-over: the UI thread's own wait for
        // the line ends with the close and leaves nothing queued.
        if (chunk)
            SetUiEventWaitMaker({});
        form = harness.Build();
        ASSERT_TRUE(OpenPort());
        if (chunk) {
            // The hand-over stays queued: only the close will serve it.
            auto queued = std::make_shared<std::promise<void>>();
            auto once = std::make_shared<std::once_flag>();
            std::future<void> handedOver = queued->get_future();
            ThreadSync::SetWaker(
                [queued, once] { std::call_once(*once, [&] { queued->set_value(); }); });
            line->Send(StartString);
            ASSERT_EQ(handedOver.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        } else {
            Child<QTimer>(*form, "Timer2")->start(0);
        }
        form.reset();
        InstallUiHandOver();
        EXPECT_FALSE(line->IsOpen());
        EXPECT_TRUE(dialogs.shown.empty());
    }
}

// The far end of a virtual port closes (the simulator or socat ended) and a new one is
// published under the same name.
class HangUpTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        earlierRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        ASSERT_TRUE(QDir().mkpath(Folder()));
        InstallUiHandOver();
    }
    void TearDown() override {
        form.reset();
        if (earlierRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", earlierRuntime);
    }
    QString Folder() const { return runtime.filePath(QStringLiteral("vell-writer/ports")); }
    void Publish(const TPtyPair& pty) {
        const QString link = Folder() + QStringLiteral("/hup0");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(QString::fromStdString(pty.Path()), link));
    }
    // The receiver's start string on `pty` is answered with the freeze request.
    void ExpectAnswered(const TPtyPair& pty) {
        pty.Send(StartString);
        EXPECT_TRUE(
            PumpUntil([&] { return LastLine(form->Logs()[0]) == "Sending command string 2..."; }));
        EXPECT_EQ(pty.Receive(16), "STX,EF81DD51,ETX");
    }

    QTemporaryDir runtime;
    QByteArray earlierRuntime;
    TWindowHarness harness{{"hup0"}};
    TFakeDialogs& dialogs = harness.dialogs;
    ReportedFailures reports{dialogs};
    std::unique_ptr<TSDIAppForm> form;
};

TEST_F(HangUpTest, FarEndHangsUpAndComesBack) {
    auto first = std::make_unique<TPtyPair>();
    Publish(*first);
    form = harness.Build();
    form->PortButtons()[0]->click();
    ASSERT_TRUE(form->Port().Connected());
    ExpectAnswered(*first);
    const std::vector<std::string> shown = Lines(form->Logs()[0]);

    first.reset(); // the far end closes: the terminal hangs up
    ASSERT_TRUE(PumpUntil([&] { return !dialogs.shown.empty(); })) << "the hang-up went unreported";
    EXPECT_EQ(dialogs.shown[0].icon, TMsgIcon::Error);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("ClearCommError function failed (win error code: 22)"));
    EXPECT_EQ(Lines(form->Logs()[0]), shown);

    TPtyPair second;
    Publish(second);
    form->PortButtons()[0]->click(); // close the port that hung up...
    EXPECT_FALSE(form->Port().Connected());
    EXPECT_EQ(LastLine(form->Logs()[0]), "Correctly close port hup0");
    form->PortButtons()[0]->click(); // ...and open it again: the new far end
    ASSERT_TRUE(form->Port().Connected());
    EXPECT_EQ(form->Logs()[0]->Line(0), "Correctly open port hup0");
    ExpectAnswered(second);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

// A port that will not open: the box stays as it always was, and the active page's log says
// why in the system's terms and what to do. A device the user may not open needs a user
// without root's rights: as root that row is left out (the suite runs this test as nobody too).
TEST(OpenFailureTest, LogSaysWhyThePortWillNotOpen) {
    TPtyPair held;
    const int holder = ::open(held.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    TPtyPair forbidden;
    ASSERT_EQ(::chmod(forbidden.Path().c_str(), 0), 0);
    struct TRow {
        std::string port;
        int box;
        std::vector<std::string> told; // what the line says, in this order
    };
    std::vector<TRow> rows = {
        {"/dev/vell-no-such-port", 2, {std::strerror(ENOENT), "Configuration page"}},
        {held.Path(),
         5,
         {"Another program holds the port", "(pid " + std::to_string(::getpid()) + ")"}},
    };
    if (::geteuid() != 0)
        rows.push_back({forbidden.Path(), 5, {std::strerror(EACCES), "dialout", "README"}});

    TWindowHarness harness;
    TFakeDialogs& dialogs = harness.dialogs;
    ReportedFailures reports{dialogs};
    auto form = harness.Build();
    Child<TPageControl>(*form, "PageControl1")->setCurrentIndex(2);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.port);
        dialogs.shown.clear();
        form->Port().SetPort(row.port);
        form->PortButtons()[0]->click();
        EXPECT_FALSE(form->Port().Connected());
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text.toStdString(),
                  "Unable to open com port (win error code: " + std::to_string(row.box) + ")");
        const std::string line = LastLine(form->ActivePageLog());
        EXPECT_EQ(line.rfind("Port " + row.port + " cannot be opened: ", 0), 0u) << line;
        size_t at = 0;
        for (const std::string& part : row.told) {
            at = line.find(part, at);
            EXPECT_NE(at, std::string::npos) << "no \"" << part << "\" in: " << line;
        }
        EXPECT_EQ(form->Logs()[0]->LineCount(), 0) << "the line went to another page's log";
    }
    ::close(holder);
}

} // namespace
