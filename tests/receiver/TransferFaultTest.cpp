// The transfer program failing the run: missing, not a program, or gone at once. Nothing may
// then reach the receiver: its loader would wait for an image that nobody delivers. The run
// ends at once with one line saying which program and why, and the receiver stays frozen. The
// dialogue drives the real transfer-program layer here, as the program does.

#include "external/ChildProcessWindows.h"
#include "external/TransferWindows.h"
#include "external/WineWindows.h"
#include "tests/receiver/DialogueTest.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Dialogue;

namespace {

class TransferFaultTest : public TRecordedDialogueTest {
protected:
    TransferFaultTest() {
        dialogue = std::make_unique<TReceiverDialogue>(window, chosenWindows, files);
        dialogue->SetAppDir(images.Path() + '/');
    }

    // A transfer program that is a shell script with this body.
    void MakeProgram(const char* body, QFileDevice::Permissions permissions) {
        QFile script(program);
        script.remove();
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(body);
        script.close();
        script.setPermissions(permissions);
    }

    // Chooses a FLASH image and presses the program button on a frozen receiver.
    void PressProgram() {
        ASSERT_TRUE(OpenFrozen());
        Choose(ikFlash);
        window.written.clear();
        dialogue->ToolButton16Click(ikFlash);
    }

    const QString program = QString::fromStdString(images.Path("Vell_par.exe"));
    TChildProcessWindows realWindows;
    TWineWindows wineWindows{[] {
        TWineSetup setup;
        setup.Wine = "/usr/lib/nowhere/wine";
        setup.Bridge = "window-bridge.exe";
        return setup;
    }()};
    TTransferWindows chosenWindows{realWindows, wineWindows};
};

// A program another user may have changed is not run as this one: it is refused, as one that
// cannot be started, before anything is started or sent.
TEST_F(TransferFaultTest, ProgramThatCannotRunOrEndsAtOnceGetsNoCommandSent) {
    const auto executable = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    const auto everyone = executable | QFileDevice::WriteOwner | QFileDevice::WriteGroup |
                          QFileDevice::WriteOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    const std::string folder = images.Path();
    const std::string real =
        QFileInfo(QString::fromStdString(folder)).canonicalFilePath().toStdString() + "/real";
    const struct {
        const char* what;
        const char* body; // nullptr: no program at all
        QFileDevice::Permissions permissions;
        std::string why;
        std::function<void()> then = [] {};
        bool asRoot = false; // only root can give a file to another user
    } cases[] = {
        {"missing", nullptr, {}, "cannot be started: it does not exist"},
        {"not executable", "#!/bin/sh\n", QFileDevice::ReadOwner,
         "cannot be started: it may not be run (no permission)"},
        {"ends at once", "#!/bin/sh\nexit 3\n", executable, "ended before the command was due"},
        {"anyone may write to it", "#!/bin/sh\nexit 3\n", everyone,
         "cannot be started: users other than you may write to it"},
        {"anyone may write to its folder", "#!/bin/sh\nexit 3\n", executable,
         "cannot be started: users other than you may write to its folder " + folder,
         [&] { ::chmod(folder.c_str(), 0777); }},
        {"a link to a file anyone may write to", "#!/bin/sh\nexit 3\n", everyone,
         "cannot be started: it leads to " + real + ", and users other than you may write to it",
         [&] {
             QFile::rename(program, QString::fromStdString(real));
             QFile::link(QString::fromStdString(real), program);
         }},
        {"written by root's own group only, as umask 002 leaves it", "#!/bin/sh\nexit 3\n",
         executable | QFileDevice::WriteGroup, "ended before the command was due",
         [&] { EXPECT_EQ(::chown(program.toUtf8().constData(), 0, 0), 0); }, true},
        {"another user's", "#!/bin/sh\nexit 3\n", executable,
         "cannot be started: it belongs to another user (uid 65534), who may change it",
         [&] { EXPECT_EQ(::chown(program.toUtf8().constData(), 65534, 65534), 0); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asRoot && ::getuid() != 0)
            continue;
        ::chmod(folder.c_str(), 0700);
        QFile::remove(program);
        QFile::remove(QString::fromStdString(real));
        if (c.body != nullptr)
            MakeProgram(c.body, c.permissions);
        c.then();
        window.commandDelay = 300; // time for a program that ends at once to end
        PressProgram();

        EXPECT_EQ(window.written, "") << "the loader was told to wait for an image";
        EXPECT_EQ(Log(0).Last(), (TLine{"The transfer program " + program.toStdString() + " " +
                                            c.why + ". Nothing was sent to the receiver.",
                                        clBlue}));
        EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
        EXPECT_TRUE(window.toolBarEnabled[0]);
        EXPECT_EQ(window.timers, (std::array<bool, 2>{false, false}));
        EXPECT_TRUE(window.runButtonsEnabled);
        EXPECT_TRUE(dialogue->PageControl1Changing());
        dialogue->CloseExternalWindow(); // as at exit: no close request to a window never there
    }
}

// A program that starts and stays is driven as usual, and the run goes on to the receiver. The
// path reaches it on its request line, not through the desktop's clipboard: this process has
// no display, and a reach for the clipboard would fail it.
TEST_F(TransferFaultTest, ProgramThatStaysGetsTheCommandAndThePathButNotTheClipboard) {
    const QString requests = QString::fromStdString(images.Path("requests"));
    MakeProgram(("#!/bin/sh\nexec cat >'" + requests.toUtf8() + "'\n").constData(),
                QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    window.commandDelay = 0;
    PressProgram();
    EXPECT_EQ(window.written, FlashCommand);
    EXPECT_TRUE(realWindows.IsWindow(dialogue->ExternalWindow()));
    dialogue->Timer1Timer();
    Receive("Memory Alocation\r\nC042");
    EXPECT_FALSE(realWindows.IsWindow(dialogue->ExternalWindow())) << "closed at the run's end";
    EXPECT_EQ(dialogue->ReceiverState(), rsFrozen);
    QFile got(requests);
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll().toStdString(),
              "minimize\nclick 25 30\npaste " + images.Path("image0.bin") + "\nclose\n");
}

} // namespace
