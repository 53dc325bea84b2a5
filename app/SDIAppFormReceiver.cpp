// Following the receiver through its start-up: the messages it sends and the answers, the
// DSR and RLSD lamps, the port toggle, the port's open and close, the choice of another port,
// and the state that holds it all (waiting, frozen in its loader, being written).

#include "ComComboBox.h"
#include "ComError.h"
#include "ComPort.h"
#include "Dialogs.h"
#include "ImageList.h"
#include "LogEdit.h"
#include "OpenFailureLine.h"
#include "PageControl.h"
#include "SDIAppForm.h"
#include "ToolButton.h"

#include <QCheckBox>
#include <vector>

namespace {

const char* const FreezeHint =
    "You turned on receiver but the software don't freeze it. If you want to freeze it next "
    "time you turn on without selecting a file, select the option \"Always freeze\" from "
    "configuration...";

} // namespace

std::string TSDIAppForm::EntryLine(const MessageEntry& entry) const {
    std::string line = entry.Text;
    if (CheckBox1->isChecked())
        line += "[" + RenderBytes(entry.Bytes.data(), entry.Length) + "]";
    return line;
}

void TSDIAppForm::DecRxChar(TObject*, int32_t Count) {
    // The buffer is this call's own and goes with it, also when a step below fails.
    std::vector<char> buffer(size_t(std::max(Count, 0)) + 1, '\0');
    // Matched on what the read returned: a short read must not match stale bytes.
    const int32_t got = Dec->Read(buffer.data(), Count);
    const int32_t index = MatchReceived(ReceiveTable, buffer.data(), got);
    TLogEdit* log = KindLog();
    log->SetColor(clTeal);

    if (index == -1) {
        if (ReceiverState == rsRunning)
            TextWatch(log, buffer.data(), got);
        else
            log->Append(RenderBytes(buffer.data(), got));
        return;
    }
    const MessageEntry& entry = ReceiveTable[size_t(index)];
    if (index == rmStartString) {
        EnterIdle(); // the receiver started over, also in the middle of a run
        log->Clear();
    }
    if (ReceiverState != rsIdle)
        return;
    log->Append(EntryLine(entry));
    if (!CheckBox5->isChecked()) {
        log->Append(FreezeHint);
        return;
    }
    for (int32_t i = 0; i < entry.AnswerCount; ++i)
        SendCommand(entry.FirstAnswer + i);
    if (index == rmFreezeAck) {
        ReceiverState = rsFrozen;
        StartRun();
    }
}

void TSDIAppForm::SendCommand(int32_t index) {
    const MessageEntry& entry = CommandTable[size_t(index)];
    // Written first: a failed write raises, and its line is then not logged.
    Dec->Write(entry.Bytes.data(), entry.Length);
    TLogEdit* log = KindLog();
    log->SetColor(clNavy);
    log->Append(EntryLine(entry));
}

void TSDIAppForm::ComLed3Change(TObject*, TLedState AState) {
    if (AState == lsOff || RichEdit1 == nullptr)
        return;
    TLogEdit* log = KindLog();
    log->SetColor(clBlue);
    if (ToolButton1->Down())
        log->Append("Receiver turn on...");
    EnterIdle();
}

void TSDIAppForm::ComLed5Change(TObject*, TLedState AState) {
    if (AState == lsOn || RichEdit1 == nullptr)
        return;
    TLogEdit* log = KindLog();
    log->SetColor(clBlue);
    if (ToolButton1->Down())
        log->Append("Receiver turn off...");
    EnterIdle();
}

void TSDIAppForm::SetPortButtons(bool down) {
    for (TToolButton* button : PortButtons()) {
        button->SetDown(down);
        button->SetImageIndex(down ? TImageList::imgPortOpen : TImageList::imgPortClosed);
    }
    for (TToolButton* button : ChooseButtons())
        button->setEnabled(down);
}

void TSDIAppForm::ToolButton1Click(QObject*) {
    // A check button has already toggled itself; it follows the port, not the click, so a
    // failing open leaves all three as they were.
    const bool opening = !Dec->Connected();
    for (TToolButton* button : PortButtons())
        button->SetDown(!opening);
    if (opening)
        OpenPort();
    else
        Dec->Close();
    // The lamps let further clicks through while the port reports to them: the buttons follow
    // the port as it is now, which a second click may have closed or opened again.
    SetPortButtons(Dec->Connected());
    if (opening && Dec->Connected())
        CheckFrozen();
}

void TSDIAppForm::OpenPort() {
    try {
        Dec->Open();
    } catch (const EComPort& failure) {
        // The box stays as it is; the log says why in the system's terms, and what to do.
        const std::optional<Platform::TOpenFailure> reason = Platform::LastOpenFailure();
        if (failure.ErrorCode() == CError_OpenFailed && reason) {
            TLogEdit* log = ActivePageLog();
            log->SetColor(clRed);
            log->Append(OpenFailureLine(Dec->Port(), *reason));
        }
        throw;
    }
}

void TSDIAppForm::DecAfterOpen(TObject*) {
    for (TLogEdit* log : Logs()) {
        log->Clear();
        log->SetColor(clRed);
        log->Append("Correctly open port " + Dec->Port());
    }
    CheckFrozen();
}

void TSDIAppForm::DecAfterClose(TObject*) {
    if (RichEdit1 == nullptr || RichEdit2 == nullptr || RichEdit3 == nullptr)
        return; // the window is being torn down
    for (TLogEdit* log : Logs()) {
        log->SetColor(clRed);
        log->Append("Correctly close port " + Dec->Port());
    }
}

void TSDIAppForm::DecPortChange(TObject*) {
    Dec->Close();
    DecPort->ApplySettings();
    SetPortButtons(false);
}

void TSDIAppForm::CheckFrozen() {
    if (ComLed5->State() != lsOn || ComLed3->State() != lsOff)
        return;
    if (m_dialogs.AskYesNo(this, QStringLiteral("Question..."),
                           QStringLiteral("Your receiver seems to be yet \"freeze\". Is it correct?"),
                           TMsgIcon::Question))
        EnterFrozen();
}

void TSDIAppForm::EnterFrozen() {
    ReceiverState = rsFrozen;
    for (TToolButton* button : RunButtons())
        button->setEnabled(true);
}

void TSDIAppForm::EnterIdle() {
    EndUnwatchedRun();
    ReceiverState = rsIdle;
    for (TToolButton* button : RunButtons())
        button->setEnabled(false);
}

void TSDIAppForm::PageControl1Changing(QObject*, bool& AllowChange) {
    AllowChange = ReceiverState != rsRunning;
}
