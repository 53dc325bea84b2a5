// Following the receiver through its start-up: the messages it sends and the answers, the
// DSR and RLSD lamps, the port toggle, the port's open and close, the choice of another port,
// and the state that holds it all.

#include "receiver/ReceiverDialogue.h"

#include "receiver/OpenFailureLine.h"
#include "receiver/Rendering.h"
#include "serial/ComError.h"

#include <algorithm>
#include <vector>

namespace {

const char* const FreezeHint =
    "You turned on receiver but the software don't freeze it. If you want to freeze it next "
    "time you turn on without selecting a file, select the option \"Always freeze\" from "
    "configuration...";

} // namespace

TReceiverDialogue::TReceiverDialogue(TDialogueWindow& window, TExternalWindows& windows,
                                     const TImageFiles& files)
    : m_window(window), m_windows(windows), m_files(files) {
    BuildMessageTables(m_receiveTable, m_commandTable);
}

// --- Logs --------------------------------------------------------------------------------------

TLog* TReceiverDialogue::KindLog() const {
    if (m_selectedKind >= ikFlash && m_selectedKind <= ikEeprom)
        return m_window.PageLog(m_selectedKind);
    return ActivePageLog();
}

TLog* TReceiverDialogue::ActivePageLog() const {
    const int32_t page = m_window.ActivePage();
    return m_window.PageLog(page >= ikFlash && page <= ikEeprom ? page : ikFlash);
}

std::string TReceiverDialogue::RenderBytes(const char* bytes, int n) const {
    return ::RenderBytes(bytes, n, m_window.ShowFullCommunication());
}

std::string TReceiverDialogue::EntryLine(const MessageEntry& entry) const {
    std::string line = entry.Text;
    // Appended piece by piece: "[" + a temporary trips a false -Wrestrict of GCC 12 (mingw-w64).
    if (m_window.ShowFullCommunication())
        line.append("[").append(RenderBytes(entry.Bytes.data(), entry.Length)).append("]");
    return line;
}

// --- Received chunks and sent commands ---------------------------------------------------------

void TReceiverDialogue::DecRxChar(int32_t Count) {
    // The buffer is this call's own and goes with it, also when a step below fails.
    std::vector<char> buffer(size_t(std::max(Count, 0)) + 1, '\0');
    // Matched on what the read returned: a short read must not match stale bytes.
    const int32_t got = m_window.ReadPort(buffer.data(), Count);
    TLog* log = KindLog();
    if (log == nullptr)
        return; // the window is being torn down: its port's close serves the last chunks
    const int32_t index = MatchReceived(m_receiveTable, buffer.data(), got);
    log->SetColor(clTeal);

    if (index == -1) {
        if (m_state == rsRunning)
            TextWatch(log, buffer.data(), got);
        else
            log->Append(RenderBytes(buffer.data(), got));
        return;
    }
    const MessageEntry& entry = m_receiveTable[size_t(index)];
    if (index == rmStartString) {
        EnterIdle(); // the receiver started over, also in the middle of a run
        log->Clear();
    }
    if (m_state != rsIdle)
        return;
    log->Append(EntryLine(entry));
    if (!m_window.AlwaysFreeze()) {
        log->Append(FreezeHint);
        return;
    }
    for (int32_t i = 0; i < entry.AnswerCount; ++i)
        SendCommand(entry.FirstAnswer + i);
    if (index == rmFreezeAck) {
        m_state = rsFrozen;
        StartRun();
    }
}

void TReceiverDialogue::SendCommand(int32_t index) {
    const MessageEntry& entry = m_commandTable[size_t(index)];
    // Written first: a failed write raises, and its line is then not logged.
    m_window.WritePort(entry.Bytes.data(), entry.Length);
    TLog* log = KindLog();
    log->SetColor(clNavy);
    log->Append(EntryLine(entry));
}

// --- Lamps, the port toggle and the port's events ---------------------------------------------

void TReceiverDialogue::ComLed3Change(bool on) {
    if (!on || m_window.PageLog(ikFlash) == nullptr)
        return; // the window is being built or torn down
    TLog* log = KindLog();
    log->SetColor(clBlue);
    if (m_window.PortToggleDown())
        log->Append("Receiver turn on...");
    EnterIdle();
}

void TReceiverDialogue::ComLed5Change(bool on) {
    if (on || m_window.PageLog(ikFlash) == nullptr)
        return; // the window is being built or torn down
    TLog* log = KindLog();
    log->SetColor(clBlue);
    if (m_window.PortToggleDown())
        log->Append("Receiver turn off...");
    EnterIdle();
}

void TReceiverDialogue::ToolButton1Click() {
    // A check button has already toggled itself; it follows the port, not the click, so a
    // failing open leaves all three as they were.
    const bool opening = !m_window.PortConnected();
    m_window.SetPortTogglesDown(!opening);
    if (opening)
        OpenPort();
    else
        m_window.ClosePort();
    // The lamps let further clicks through while the port reports to them: the buttons follow
    // the port as it is now, which a second click may have closed or opened again.
    m_window.ShowPortOpen(m_window.PortConnected());
    if (opening && m_window.PortConnected())
        CheckFrozen();
}

void TReceiverDialogue::OpenPort() {
    try {
        m_window.OpenPort();
    } catch (const EComPort& failure) {
        // The box stays as it is; the log says why in the system's terms, and what to do.
        const TOpenFailureReason* reason = failure.OpenFailureReason();
        if (failure.ErrorCode() == CError_OpenFailed && reason != nullptr) {
            if (TLog* log = ActivePageLog()) {
                log->SetColor(clRed);
                log->Append(OpenFailureLine(m_window.PortName(), *reason));
            }
        }
        throw;
    }
}

void TReceiverDialogue::DecAfterOpen() {
    for (int32_t page = ikFlash; page <= ikEeprom; ++page) {
        if (TLog* log = m_window.PageLog(page)) {
            log->Clear();
            log->SetColor(clRed);
            log->Append("Correctly open port " + m_window.PortName());
        }
    }
    CheckFrozen();
}

void TReceiverDialogue::DecAfterClose() {
    for (int32_t page = ikFlash; page <= ikEeprom; ++page) {
        if (m_window.PageLog(page) == nullptr)
            return; // the window is being torn down
    }
    for (int32_t page = ikFlash; page <= ikEeprom; ++page) {
        TLog* log = m_window.PageLog(page);
        log->SetColor(clRed);
        log->Append("Correctly close port " + m_window.PortName());
    }
}

void TReceiverDialogue::DecPortChange() {
    m_window.ClosePort();
    m_window.ApplyPortChoice();
    m_window.ShowPortOpen(false);
}

// --- The state ---------------------------------------------------------------------------------

void TReceiverDialogue::CheckFrozen() {
    if (!m_window.RlsdLampOn() || m_window.DsrLampOn())
        return;
    if (m_window.AskYesNo("Question...", "Your receiver seems to be yet \"freeze\". Is it correct?",
                          TMsgIcon::Question, TMsgDefault::Yes))
        EnterFrozen();
}

void TReceiverDialogue::EnterFrozen() {
    m_state = rsFrozen;
    m_window.SetRunButtonsEnabled(true);
}

void TReceiverDialogue::EnterIdle() {
    EndUnwatchedRun();
    m_state = rsIdle;
    m_window.SetRunButtonsEnabled(false);
}

bool TReceiverDialogue::PageControl1Changing() const {
    return m_state != rsRunning;
}
