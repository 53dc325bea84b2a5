// The transfer program failing the run: missing, not a program, gone at once, or a Windows
// program with no Wine to run it. Nothing may
// then reach the receiver: its loader would wait for an image that nobody delivers. The run
// ends at once with one line saying which program and why, and the receiver stays frozen.

#include "CSpinEdit.h"
#include "ChildProcessWindows.h"
#include "DialogueHarness.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "ToolBar.h"
#include "TransferWindows.h"
#include "WineWindows.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

using namespace Dialogue;

namespace {

class TransferFaultTest : public TDialogueTest {
protected:
    void SetUp() override {
        TDialogueTest::SetUp();
        // The same window, but with the real transfer-program layer.
        form = std::make_unique<TSDIAppForm>(realServices);
        form->AppDir = programs.path() + u'/';
        form->Dec->OnRxChar = [this, handler = form->Dec->OnRxChar](TObject* sender,
                                                                    int32_t count) {
            handler(sender, count);
            received += size_t(count);
        };
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

    // Writes a FLASH image and presses the program button on a frozen receiver.
    void PressProgram() {
        ASSERT_TRUE(OpenFrozen());
        form->PageControl1->setCurrentIndex(0);
        dialogs.openAnswer = MakeImage(programs, QStringLiteral("flash.bin"), 524288);
        form->FileOpen1Execute(form->ToolButton3);
        line->TakeSent();
        form->ToolButton16->click();
    }

    QTemporaryDir programs;
    const QString program = programs.filePath(QStringLiteral("Vell_par.exe"));
    TChildProcessWindows realWindows;
    TWineWindows wineWindows{TWineSetup{"/usr/lib/nowhere/wine", "window-bridge.exe"}};
    TTransferWindows chosenWindows{realWindows, wineWindows};
    TServices realServices{harness.dialogs, harness.store, chosenWindows,
                           harness.services.ListPorts};
};

TEST_F(TransferFaultTest, ProgramThatCannotRunOrEndsAtOnceGetsNoCommandSent) {
    const auto executable = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    const struct {
        const char* what;
        const char* body; // nullptr: no program at all
        QFileDevice::Permissions permissions;
        std::string why;
    } cases[] = {
        {"missing", nullptr, {}, "cannot be started: it does not exist"},
        {"not executable", "#!/bin/sh\n", QFileDevice::ReadOwner,
         "cannot be started: it may not be run (no permission)"},
        {"ends at once", "#!/bin/sh\nexit 3\n", executable, "ended before the command was due"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        SetUp();
        if (c.body != nullptr)
            MakeProgram(c.body, c.permissions);
        form->Spin1->setValue(300); // time for a program that ends at once to end
        PressProgram();

        EXPECT_EQ(line->TakeSent(), "") << "the loader was told to wait for an image";
        EXPECT_EQ(LastLine(form->RichEdit1), "The transfer program " + program.toStdString() + " " +
                                                 c.why + ". Nothing was sent to the receiver.");
        EXPECT_EQ(form->RichEdit1->LineColor(form->RichEdit1->LineCount() - 1), clBlue);
        EXPECT_EQ(form->ReceiverState, rsFrozen);
        EXPECT_TRUE(form->ToolBar1->isEnabled());
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_FALSE(form->Timer2->isActive());
        for (TToolButton* button : form->RunButtons())
            EXPECT_TRUE(button->isEnabled());
        bool allow = false;
        form->PageControl1Changing(form->PageControl1, allow);
        EXPECT_TRUE(allow);
        form->FileExit1Execute(form->ToolButton4); // no close request to a window never there
    }
}

// A program that starts and stays is driven as usual, and the run goes on to the receiver. The
// path reaches it on its request line; the desktop's clipboard keeps what the user copied.
TEST_F(TransferFaultTest, ProgramThatStaysGetsTheCommandAndThePathButNotTheClipboard) {
    const QString requests = programs.filePath(QStringLiteral("requests"));
    MakeProgram(("#!/bin/sh\nexec cat >'" + requests.toUtf8() + "'\n").constData(),
                QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QGuiApplication::clipboard()->setText(QStringLiteral("the user's own text"));
    form->Spin1->setValue(0);
    PressProgram();
    EXPECT_EQ(line->WaitSent(8, 5000), std::string("\x02"
                                                   "C042,5\x03",
                                                   8));
    EXPECT_TRUE(realWindows.IsWindow(form->ExternalWindow));
    form->Timer1Timer(form->Timer1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the user's own text"));
    ASSERT_TRUE(Receive("Memory Alocation\r\nC042"));
    EXPECT_FALSE(realWindows.IsWindow(form->ExternalWindow)) << "closed at the run's end";
    EXPECT_EQ(form->ReceiverState, rsFrozen);
    QFile got(requests);
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll(), "minimize\nclick 25 30\npaste " +
                                 programs.filePath("flash.bin").toUtf8() + "\nclose\n");
}

} // namespace
