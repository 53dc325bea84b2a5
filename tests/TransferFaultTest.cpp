// The transfer program failing the run: missing, or gone at once. The run must neither hang
// nor crash: requests to a window that is not there are skipped and the watchdog ends the run.

#include "CSpinEdit.h"
#include "ChildProcessWindows.h"
#include "DialogueHarness.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "ToolBar.h"

#include <QFile>
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

    // Writes a FLASH image and presses the program button on a frozen receiver.
    void StartFlashRun() {
        ASSERT_TRUE(OpenFrozen());
        form->PageControl1->setCurrentIndex(0);
        dialogs.openAnswer = MakeImage(programs, QStringLiteral("flash.bin"), 524288);
        form->FileOpen1Execute(form->ToolButton3);
        form->ToolButton16->click();
        ASSERT_EQ(form->ReceiverState, rsRunning);
        ASSERT_EQ(line->WaitSent(8, 5000), std::string("\x02" "C042,5\x03", 8));
    }

    // The run goes on without the program, and the watchdog ends it.
    void ExpectRunEndsByWatchdog() {
        form->Timer1Timer(form->Timer1); // the paste goes nowhere
        EXPECT_FALSE(form->Timer1->isActive());
        ASSERT_TRUE(Receive("Memory Alocation\r\n"));
        EXPECT_TRUE(form->Timer2->isActive());
        form->Timer2Timer(form->Timer2);
        EXPECT_EQ(form->ReceiverState, rsFrozen);
        EXPECT_TRUE(form->ToolBar1->isEnabled());
    }

    QTemporaryDir programs;
    TChildProcessWindows realWindows;
    TServices realServices{harness.dialogs, harness.store, realWindows, harness.services.ListPorts};
};

TEST_F(TransferFaultTest, MissingTransferProgram) {
    form->Spin1->setValue(0);
    StartFlashRun();
    EXPECT_FALSE(realWindows.IsWindow(form->ExternalWindow));
    ExpectRunEndsByWatchdog();
}

TEST_F(TransferFaultTest, TransferProgramThatEndsAtOnce) {
    const QString program = programs.filePath(QStringLiteral("Vell_par.exe"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 3\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    form->Spin1->setValue(200); // time for it to end before the paste
    StartFlashRun();
    ExpectRunEndsByWatchdog();
    form->FileExit1Execute(form->ToolButton4); // a close request to a gone window is skipped
}

} // namespace
