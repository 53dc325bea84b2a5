// The Wine form of the transfer program's window against a fake window bridge (a shell script
// in Wine's place, answering from a table), and the choice of form by the program file.

#include "external/WineWindows.h"

#include "external/TransferWindows.h"
#include "external/WindowsNameRule.h"
#include "tests/support/FakeWindows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class WineWindowsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        // The prefix's drives as Wine makes them: C: its own folder, Z: the whole system.
        ASSERT_TRUE(QDir().mkpath(Path("prefix/drive_c")) &&
                    QDir().mkpath(Path("prefix/dosdevices")));
        ASSERT_TRUE(QFile::link("../drive_c", Path("prefix/dosdevices/c:")));
        ASSERT_TRUE(QFile::link("/", Path("prefix/dosdevices/z:")));
        ASSERT_TRUE(QFile::link("/dev/null", Path("prefix/dosdevices/com1")));
        for (const char* name : {"WINEPREFIX", "FAKE_BRIDGE_RECORD", "FAKE_BRIDGE_ANSWERS"})
            saved.emplace_back(name, qgetenv(name));
        qputenv("WINEPREFIX", Path("prefix").toUtf8());
        qputenv("FAKE_BRIDGE_RECORD", Path("record").toUtf8());
        qputenv("FAKE_BRIDGE_ANSWERS", Path("answers").toUtf8());
        setup.Wine = "/bin/sh";
        setup.Bridge = FAKE_WINDOW_BRIDGE;
        setup.StartMs = setup.ExecMs = setup.CallMs = 10000;
    }
    void TearDown() override {
        for (const auto& [name, value] : saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    QString Path(const char* name) const { return folder.filePath(QLatin1String(name)); }
    void Answers(const char* table) {
        QFile file(Path("answers"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(table);
    }
    // What the bridges were asked, one line each.
    std::vector<std::string> Record() const {
        QFile file(Path("record"));
        std::vector<std::string> lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines.push_back(line.toStdString());
        return lines;
    }
    using TLines = std::vector<std::string>;

    QTemporaryDir folder;
    std::vector<std::pair<const char*, QByteArray>> saved;
    TWineSetup setup;
};

TEST_F(WineWindowsTest, CallsBecomeRequestsWithWineNamesAndOneBridgeServesEveryRun) {
    Answers("GetForegroundWindow 65640 0\nGetNextDlgTabItem 65650 0\nSendMessage 7 0\n"
            "IsWindow 0 1400\n");
    const QString image = Path("drive_c_not/my image é.bin");
    {
        TWineWindows windows(setup);
        const std::string program = Path("prefix/drive_c/Vell par/Vell_par.exe").toStdString();
        EXPECT_TRUE(windows.WinExec(program, Win::SW_SHOWMINIMIZED));
        EXPECT_EQ(windows.GetForegroundWindow(), 65640);
        EXPECT_TRUE(windows.CloseWindow(65640));
        EXPECT_EQ(windows.GetNextDlgTabItem(65640, 0, false), 65650);
        windows.SetClipboardText(image.toStdString());
        EXPECT_EQ(windows.SendMessage(65650, Win::WM_LBUTTONDOWN, Win::MK_LBUTTON, 25 | 30 << 16),
                  7);
        EXPECT_EQ(windows.SendMessage(65650, Win::WM_PASTE, 0, 0), 7);
        EXPECT_FALSE(windows.IsWindow(65640));
        EXPECT_FALSE(windows.IsWindow(0)) << "no window, no question";
        EXPECT_TRUE(windows.WinExec(program, Win::SW_SHOWMINIMIZED)); // the next run
        EXPECT_EQ(windows.BridgeFailure(), "");
    }
    std::string wineImage = "Z:" + image.toStdString();
    std::replace(wineImage.begin(), wineImage.end(), '/', '\\');
    EXPECT_EQ(Record(), TLines({"start", "Sleep 0", "WinExec 2 C:\\Vell par\\Vell_par.exe",
                                "GetForegroundWindow", "CloseWindow 65640",
                                "GetNextDlgTabItem 65640 0 0", "SetClipboardText " + wineImage,
                                "SendMessage 65650 513 1 1966105", "SendMessage 65650 770 0 0",
                                "IsWindow 65640", "WinExec 2 C:\\Vell par\\Vell_par.exe", "end"}))
        << "one start, and the bridge ended by the end of its requests";
}

TEST_F(WineWindowsTest, PathsTakeTheDriveThatHoldsThemMostClosely) {
    const std::vector<TWineWindows::TDrive> drives = {
        {'c', "/p/drive_c"}, {'z', "/"}, {'d', "/media/cd"}};
    const struct {
        const char* path;
        const char* wine;
    } cases[] = {
        {"/home/u/a b/é%.bin", "Z:\\home\\u\\a b\\é%.bin"},
        {"/p/drive_c/x/Vell_par.exe", "C:\\x\\Vell_par.exe"},
        {"/p/drive_cx/a", "Z:\\p\\drive_cx\\a"},
        {"/media/cd", "D:\\"},
        {"/", "Z:\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TWineWindows::WinePath(c.path, drives), c.wine) << c.path;
    EXPECT_EQ(TWineWindows::WinePath("/a/b", {}), "Z:\\a\\b") << "Wine's default drive";

    const auto read = TWineWindows::ReadDrives(Path("prefix/dosdevices").toStdString());
    EXPECT_EQ(read, (std::vector<TWineWindows::TDrive>{
                        {'c', QFileInfo(Path("prefix/drive_c")).canonicalFilePath().toStdString()},
                        {'z', "/"}}));
}

TEST_F(WineWindowsTest, BridgeThatEndsOrStallsFailsItsCallAndTheNextCallStartsAnother) {
    setup.CallMs = 300;
    TWineWindows windows(setup);
    Answers("IsWindow die\n");
    EXPECT_FALSE(windows.IsWindow(65640));
    EXPECT_EQ(windows.BridgeFailure(), "it ended (exit code 3) before it answered IsWindow");
    Answers("GetForegroundWindow stall\n");
    EXPECT_EQ(windows.GetForegroundWindow(), 0);
    EXPECT_EQ(windows.BridgeFailure(), "it did not answer GetForegroundWindow within 1 s");
    Answers("");
    EXPECT_TRUE(windows.CloseWindow(65640));
    EXPECT_EQ(Record(), TLines({"start", "Sleep 0", "IsWindow 65640", "start", "Sleep 0",
                                "GetForegroundWindow", "start", "Sleep 0", "CloseWindow 65640"}));
}

TEST_F(WineWindowsTest, AnswersOutOfStepAreDroppedAndTextsCleaned) {
    Answers("GetForegroundWindow twice 65640 0\nIsWindow 0 1400\n"
            "WinExec 0 2 no%00such%0Afile%1B[2J \xC3( \xE2\x80\xAE\n");
    std::vector<std::string> waited;
    setup.Waiting = [&waited](const std::string& call) { waited.push_back(call); };
    TWineWindows windows(setup);
    EXPECT_EQ(windows.GetForegroundWindow(), 65640);
    EXPECT_EQ(waited, TLines({"start", "", "GetForegroundWindow", ""}))
        << "the bridge's start, then the call, told and untold";
    EXPECT_FALSE(windows.IsWindow(65640)) << "the extra answer is not IsWindow's";
    EXPECT_FALSE(windows.IsWindow(65640));
    EXPECT_FALSE(windows.WinExec(Path("Vell_par.exe").toStdString(), Win::SW_SHOWMINIMIZED));
    EXPECT_EQ(windows.StartFailure(), "no\uFFFDsuch\uFFFDfile\uFFFD[2J \uFFFD( \uFFFD");
    EXPECT_EQ(windows.BridgeFailure(), "");
}

TEST_F(WineWindowsTest, StartsThatCannotBeSayWhyAndLaterCallsDoNotWaitForThem) {
    const std::string program = Path("Vell_par.exe").toStdString();
    const QByteArray path = qgetenv("PATH");
    // A bridge another user may change would run as this user.
    const std::string sharedBridge = Path("shared-bridge.exe").toStdString();
    ASSERT_TRUE(QFile::copy(QString::fromStdString(setup.Bridge), Path("shared-bridge.exe")));
    ASSERT_EQ(::chmod(sharedBridge.c_str(), 0777), 0);
    const struct {
        std::string wine, bridge, answers, failure;
    } cases[] = {
        {"wine", setup.Bridge, "",
         "it is a Windows program, and Wine is not installed to run it (install the packages "
         "wine and wine32)"},
        {"/bin/sh", "/nowhere/window-bridge.exe", "",
         "it is a Windows program, and the window bridge /nowhere/window-bridge.exe that drives "
         "it under Wine is missing"},
        {"/bin/sh", setup.Bridge, "Sleep stall\n",
         "Wine did not run the window bridge " + setup.Bridge +
             ": it did not answer Sleep within 1 s"},
        {"/bin/sh", setup.Bridge, "WinExec 0 2 The system cannot find the file specified.\n",
         "The system cannot find the file specified."},
        {"/bin/sh", setup.Bridge, "WinExec 0 193\n", "Windows refused to start it (error 193)"},
        {"/bin/sh", sharedBridge, "",
         "the window bridge " + sharedBridge +
             " that drives it under Wine: users other than you may write to it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        QFile::remove(Path("record"));
        Answers(c.answers.c_str());
        setup.Wine = c.wine;
        setup.Bridge = c.bridge;
        setup.StartMs = 300;
        qputenv("PATH", c.wine == "wine" ? Path("nothing here").toUtf8() : path);
        TWineWindows windows(setup);
        EXPECT_FALSE(windows.WinExec(program, Win::SW_SHOWMINIMIZED));
        EXPECT_EQ(windows.StartFailure(), c.failure);
        const bool started = c.answers.rfind("WinExec", 0) == 0;
        EXPECT_EQ(windows.GetForegroundWindow(), started ? 1 : 0);
        const TLines record = Record();
        EXPECT_EQ(std::count(record.begin(), record.end(), "start"), c.answers.empty() ? 0 : 1);
    }
    qputenv("PATH", path);

    QFile::remove(Path("record"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(sharedBridge), Path("Vell_par.exe")));
    ASSERT_EQ(::chmod(program.c_str(), 0777), 0);
    setup.Bridge = FAKE_WINDOW_BRIDGE;
    TWineWindows windows(setup);
    EXPECT_FALSE(windows.WinExec(program, Win::SW_SHOWMINIMIZED));
    EXPECT_EQ(windows.StartFailure(), "users other than you may write to it");
    EXPECT_TRUE(Record().empty()) << "no bridge started";
}

// A Linux name that a Windows program would read as another file, or could not read at all.
TEST(WindowsNameRuleTest, NamesWindowsReadsDifferentlyAreTold) {
    const struct {
        const char* path;
        const char* problem; // empty: read as is
    } cases[] = {
        {"/home/u/a b/é%.bin", ""},
        {"/home/u/CONSOLE.bin", ""},
        {"/home/u/COM0.bin", ""},
        {"/home/u/flash.bin\\..\\other.bin",
         "Windows reads the backslash in \"flash.bin\\..\\other.bin\" as a folder separator"},
        {"/home/u/c:flash.bin",
         "Windows reads the colon in \"c:flash.bin\" as a drive or a stream"},
        {"/home/u/a|b/x.bin", "a Windows name cannot hold the | in \"a|b\""},
        {"/home/u/a\tb.bin", "a Windows name cannot hold the control character in \"a\tb.bin\""},
        {"/home/u/flash.bin.", "Windows drops the space or dot that \"flash.bin.\" ends in"},
        {"/home/u/dir /x.bin", "Windows drops the space or dot that \"dir \" ends in"},
        {"/home/u/../x.bin", "Windows drops the space or dot that \"..\" ends in"},
        {"/home/u/nul.bin", "Windows reads \"nul.bin\" as a device, not a file"},
        {"/home/lpt1.x/a.bin", "Windows reads \"lpt1.x\" as a device, not a file"},
        {"/home/u/CON .tar.gz", "Windows reads \"CON .tar.gz\" as a device, not a file"},
        {"/home/u/a\xff.bin", "Windows cannot read a name that is not UTF-8 text"},
        {"/home/u/a\xc0\xaf.bin", "Windows cannot read a name that is not UTF-8 text"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowsNameProblem(c.path), c.problem) << c.path;
}

TEST(TransferWindowsTest, WindowsProgramsGoToWineAndOthersToAChildProcess) {
    QTemporaryDir folder;
    const auto make = [&](const char* name, const QByteArray& bytes) {
        QFile file(folder.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName().toStdString();
    };
    const std::string windowsProgram = make("Vell_par.exe", QByteArray("MZ\x90\0\3", 5));
    const std::string script = make("script", "#!/bin/sh\n");
    const std::string fifo = folder.filePath(QStringLiteral("fifo")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(TTransferWindows::IsWindowsProgram(windowsProgram));
    for (const std::string& other : {script, make("short", "M"), make("empty", ""), fifo,
                                     folder.path().toStdString(), std::string("/nowhere/x.exe")})
        EXPECT_FALSE(TTransferWindows::IsWindowsProgram(other)) << other;

    TFakeWindows childProcess, wine;
    wine.window = 65640;
    TTransferWindows windows(childProcess, wine);
    ASSERT_TRUE(windows.WinExec(windowsProgram, Win::SW_SHOWMINIMIZED));
    EXPECT_EQ(windows.GetForegroundWindow(), 65640);
    windows.SetClipboardText("Z:\\image.bin");
    EXPECT_EQ(wine.clipboard, "Z:\\image.bin");
    ASSERT_TRUE(windows.WinExec(script, Win::SW_SHOWMINIMIZED));
    EXPECT_EQ(windows.GetForegroundWindow(), 7);
    EXPECT_EQ(childProcess.calls, std::vector<std::string>{"exec " + script + " 2"});
    // A path is judged by the form that would run the program, whichever ran last.
    wine.pathProblem = "under Wine";
    EXPECT_EQ(windows.PathProblem(windowsProgram, "/a\\b"), "under Wine");
    EXPECT_EQ(windows.PathProblem(script, "/a\\b"), "");
    TWineWindows realWine({});
    EXPECT_NE(realWine.PathProblem(windowsProgram, "/a\\b"), "");
    EXPECT_EQ(wine.calls, std::vector<std::string>{"exec " + windowsProgram + " 2"});
}

} // namespace
