// A programming run: from the program or erase button (or the receiver's freeze
// acknowledgement) through the confirmation, the transfer program and the command string, to
// the end the receiver reports or the watchdog declares.

#include "receiver/ReceiverDialogue.h"
#include "receiver/Rendering.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

// The longest pause between starting the transfer program and sending the command. The pause
// blocks the window, so it is kept to a minute: a slip on the keyboard must not freeze the
// program for days. A negative delay means no pause.
constexpr int LongestCommandDelay = 60000;

// The longest of the receiver's words the text watch looks for.
constexpr size_t LongestRunWord = sizeof("Memory Alocation") - 1;

// A point inside the transfer program's input, as a mouse message carries it.
constexpr intptr_t ClickPoint = 25 | (30 << 16);

constexpr char TransferProgramName[] = "Vell_par.exe";

std::string WithoutFinalPeriod(std::string text) {
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text.empty() ? "no reason given" : text;
}

} // namespace

bool TReceiverDialogue::ChooseImage(int32_t kind, const std::string& path) {
    const int32_t earlierKind = m_selectedKind;
    const std::string earlierFile = m_imageFile;
    const TImageStamp earlierImage = m_chosenImage;
    // The new path is the choice while it is looked at and asked about, as the open dialog
    // holds it; a refusal gives the earlier one back.
    m_imageFile = path;
    if (!ImageNameAccepted(ActivePageLog(), TransferProgramFile(), path)) {
        m_imageFile = earlierFile;
        return false;
    }
    const TImageMeasure image = m_files.Measure(path);
    if (!image.problem.empty()) {
        m_imageFile = earlierFile;
        TLog* log = ActivePageLog();
        log->SetColor(clRed);
        log->AppendUtf8("Cannot load " + path + ": " + image.problem + "...");
        return false;
    }
    // Taken while the selection is still the earlier one: that load is the one dropped.
    TLog* earlierLog = earlierKind != ikNone ? KindLog() : nullptr;
    m_selectedKind = kind;
    if (const auto question = SizeQuestion(kind, image.stamp.Size32());
        question &&
        !m_window.AskYesNo("Attention", *question, TMsgIcon::Warning, TMsgDefault::Yes)) {
        m_selectedKind = earlierKind;
        m_imageFile = earlierFile;
        m_chosenImage = earlierImage;
        return false;
    }
    m_chosenImage = image.stamp;
    if (earlierLog != nullptr) {
        earlierLog->SetColor(clNavy);
        earlierLog->Append("\nDelete last load command...");
    }
    TLog* log = ActivePageLog();
    log->SetColor(clBlue);
    log->AppendUtf8(ReadyText(kind) + m_imageFile);
    log->Append(m_state == rsIdle ? "\nPress a button in front of receiver to start download..."
                                  : "\nPress the program button to write your receiver...");
    return true;
}

std::string TReceiverDialogue::ImageFolder(const std::string& path) {
#ifdef _WIN32
    const char* const separators = "\\/:";
#else
    const char* const separators = "/"; // a name may hold a backslash or a colon here
#endif
    const size_t separator = path.find_last_of(separators);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

void TReceiverDialogue::ToolButton16Click(int32_t kind) {
    TLog* log = ActivePageLog();
    log->SetColor(clBlue);
    if (m_imageFile.empty()) {
        log->Append("Select a file to write in receiver...");
        return;
    }
    if (m_selectedKind != kind) {
        static const char* const wrongKind[] = {
            "You haven't select a file to load in FLASH. First select a valid file...",
            "You haven't select a file to load in FIRMWARE. First select a valid file...",
            "You haven't select a file to load in E2PROM. First select a valid file...",
        };
        log->Append(wrongKind[kind]);
        return;
    }
    if (kind == ikFirmware &&
        !m_window.AskYesNo("Attention",
                           "In this way you will write firmware of your receiver: read notes in "
                           "help before doing it.\nLoading incorrect file CAN STOP your "
                           "receiver\nWould you continue?",
                           TMsgIcon::Warning, TMsgDefault::Yes))
        return;
    StartRun();
}

void TReceiverDialogue::ToolButton19Click() {
    const int32_t chosen = m_selectedKind;
    m_selectedKind = ikErase;
    try {
        StartRun();
    } catch (...) {
        m_selectedKind = chosen;
        throw;
    }
    m_selectedKind = chosen;
}

void TReceiverDialogue::StartRun() {
    TLog* log = KindLog();
    // What a write of each kind asks and what it sends; it runs on its kind's page.
    static const struct {
        const char* question; // followed by the image's path
        int32_t command;
    } writes[] = {
        {"You are writing FLASH with file\n", cmdFlashUpdate},
        {"You are writing FIRMWARE\n", cmdFirmwareUpdate},
        {"You are writing EEPROM\n", cmdEepromUpdate},
    };
    std::string confirmation;
    int32_t command = cmdCleanup;
    int32_t toolBar = -1;
    if (m_selectedKind >= ikFlash && m_selectedKind <= ikEeprom) {
        const auto& write = writes[m_selectedKind];
        confirmation = write.question + m_imageFile + ".\nWould you continue?";
        toolBar = m_selectedKind;
        command = write.command;
    } else if (m_selectedKind == ikErase) {
        confirmation = "You are erasing FLASH and EEPROM. Would you continue?";
        const int32_t page = m_window.ActivePage();
        toolBar = page >= ikFlash && page <= ikEeprom ? page : ikFlash;
    } else {
        log->Append("Now your receiver is freeze. Select a file to download and when ready push "
                    "the program button...");
        EnterFrozen();
        return;
    }
    std::string program;
    if (m_selectedKind != ikErase) {
        program = TransferProgram(log);
        // The program reads the image by its name: one it would read as another file is not
        // measured, confirmed and checked again as if it were that file.
        if (!ImageNameAccepted(log, program, m_imageFile)) {
            EnterFrozen();
            return;
        }
        if (!TransferRouteAccepted(log, program))
            return;
    }

    const bool yes =
        !m_window.ConfirmDataLoading() ||
        m_window.AskYesNo("Attention", confirmation, TMsgIcon::Warning, TMsgDefault::Yes);
    if (!yes) {
        EnterFrozen();
        log->SetColor(clBlue);
        log->Append("Select a file to download and when ready press the program button...");
        return;
    }
    if (!ImageStillAsChosen(log))
        return;
    // A run the receiver left while the watchdog watched it is still open: it ends here, or its
    // watchdog would end this run and give back only this run's tool bar.
    if (m_window.TimerRunning(TRunTimer::Watchdog))
        EndRun();
    m_runToolBar = toolBar;
    m_state = rsRunning;
    m_window.SetToolBarEnabled(m_runToolBar, false);
    m_runText.clear();
    m_runSawAllocation = m_runSawDownload = m_runSawFailure = false;
    if (m_selectedKind != ikErase) {
        // Once told to write, the receiver's loader waits for an image: without a transfer
        // program to deliver it, the command must not go out.
        if (!m_windows.WinExec(program, Win::SW_SHOWMINIMIZED)) {
            m_externalWindow = 0; // an earlier run's window is not this run's
            EndUnsentRun(log, program,
                         "cannot be started: " + WithoutFinalPeriod(m_windows.StartFailure()));
            return;
        }
        m_externalWindow = m_windows.GetForegroundWindow();
        m_windows.CloseWindow(m_externalWindow);
        m_window.SetTimerRunning(TRunTimer::Paste, true);
        // The receiver's loader must not get its command before the transfer program is up.
        m_windows.Sleep(std::clamp(m_window.SendCommandDelay(), 0, LongestCommandDelay));
        if (!m_windows.IsWindow(m_externalWindow)) {
            EndUnsentRun(log, program,
                         m_externalWindow == 0 ? "showed no window"
                                               : "ended before the command was due");
            return;
        }
    }
    try {
        SendCommand(command);
    } catch (...) {
        // The command never reached the receiver, so no run is under way, and none would ever
        // end: the watchdog starts only with the receiver's answer. Left running, the window
        // would keep its tool bar disabled and refuse every page change until it was closed.
        // The receiver is still in its loader, as before the run; the failure is then told.
        EndRun();
        EnterFrozen();
        throw;
    }
}

bool TReceiverDialogue::ImageStillAsChosen(TLog* log) {
    if (m_selectedKind < ikFlash || m_selectedKind > ikEeprom)
        return true;
    // The transfer program reads the file by its name: what it would send must be the file
    // whose size the user confirmed, not one grown, rewritten or put in its place since.
    const std::string path = m_imageFile;
    const TImageMeasure image = m_files.Measure(path);
    std::string problem = image.problem;
    if (problem.empty() && image.stamp != m_chosenImage)
        problem = "it changed since it was chosen, choose it again";
    if (problem.empty())
        return true;
    log->SetColor(clRed);
    log->AppendUtf8("Cannot load " + path + ": " + problem + "...");
    EnterFrozen();
    return false;
}

std::string TReceiverDialogue::TransferProgramFile() const {
    if (!m_ownProgramDir.empty()) {
        const std::string own = m_ownProgramDir + TransferProgramName;
        if (m_files.Measure(own).problem.empty())
            return own;
    }
    return m_appDir + TransferProgramName;
}

std::string TReceiverDialogue::TransferProgram(TLog* log) const {
    const std::string program = TransferProgramFile();
    if (!m_ownProgramDir.empty() && program == m_ownProgramDir + TransferProgramName) {
        log->SetColor(clBlue);
        log->AppendUtf8("The transfer program is your own " + program + ".");
    }
    return program;
}

bool TReceiverDialogue::ImageNameAccepted(TLog* log, const std::string& program,
                                          const std::string& path) {
    const std::string problem = m_windows.PathProblem(program, path);
    if (problem.empty())
        return true;
    log->SetColor(clRed);
    log->AppendUtf8("Cannot load " + path + ": " + problem + "...");
    return false;
}

bool TReceiverDialogue::TransferRouteAccepted(TLog* log, const std::string& program) {
    const std::vector<std::string> findings = m_windows.StartFindings(program);
    if (findings.empty())
        return true;
    log->SetColor(clRed);
    std::string told;
    for (const std::string& finding : findings) {
        log->AppendUtf8(finding);
        told += "\n\n" + finding;
    }
    const TImageMeasure file = m_files.Measure(program);
    const bool known = file.problem.empty();
    if (known && m_acceptedProgram == file.stamp) {
        log->SetColor(clBlue);
        log->Append("Going on, as you chose for this transfer program before.");
        return true;
    }
    if (m_window.AskYesNo("Attention",
                          "The transfer program is unlikely to write your receiver:" + told +
                              "\n\nSend the receiver its command anyway?",
                          TMsgIcon::Warning, TMsgDefault::No)) {
        if (known)
            m_acceptedProgram = file.stamp;
        return true;
    }
    EnterFrozen();
    log->SetColor(clBlue);
    log->Append("Nothing was sent to the receiver.");
    return false;
}

void TReceiverDialogue::EndUnsentRun(TLog* log, const std::string& program,
                                     const std::string& why) {
    EndRun();
    log->SetColor(clBlue);
    log->AppendUtf8("The transfer program " + program + " " + why +
                    ". Nothing was sent to the receiver.");
    TellProgramEnd(log);
    EnterFrozen();
}

void TReceiverDialogue::TellProgramEnd(TLog* log) {
    const std::optional<uint32_t> status = m_windows.ExitStatus();
    if (status != Win::STATUS_PRIVILEGED_INSTRUCTION)
        return;
    log->SetColor(clRed);
#ifdef _WIN32
    log->Append("The transfer program stopped at a privileged instruction (0xC0000096): it tried "
                "to reach the machine's I/O ports without the port driver it needs. Install the "
                "driver that comes with it, as its maker says.");
#else
    log->Append("The transfer program stopped at a privileged instruction (0xC0000096): it tried "
                "to reach the machine's I/O ports, which Wine does not allow. Run Vell Writer on "
                "Windows, or on a Windows machine or virtual machine that owns the parallel "
                "port.");
#endif
}

void TReceiverDialogue::TextWatch(TLog* log, const char* chunk, int32_t count) {
    const std::string text = PlainText(chunk, count);
    // How much of m_runText's front an earlier chunk has searched already. A word found there
    // has set its flag or ended the run, so only what this chunk can complete is searched: the
    // chunk and the tail before it. Searched whole, a line the receiver never ends made every
    // chunk cost the whole line again.
    size_t searched = 0;
    if (m_window.ShowFullCommunication()) {
        log->Append(RenderBytes(chunk, count));
        searched = m_runText.size();
        m_runText += text;
        m_runLineStart = m_runText.size(); // no log line is the watch's own
    } else {
        // The receiver's text continues the last line of the log. That line has been searched
        // when it still reads as the watch left it after the last chunk.
        const int lines = log->LineCount();
        std::string last = lines > 0 ? log->Line(lines - 1) : std::string();
        if (m_runLineStart <= m_runText.size() &&
            m_runText.compare(m_runLineStart, std::string::npos, last) == 0)
            searched = last.size();
        if (lines > 0)
            log->DeleteLine(lines - 1);
        m_runText = std::move(last);
        m_runText += text;
        log->Append(m_runText);
        // The log's last line now starts after the chunk's last line feed, if it has one.
        const size_t feed = text.rfind('\n');
        m_runLineStart = feed == std::string::npos ? 0 : m_runText.size() - text.size() + feed + 1;
    }
    const size_t from = searched > LongestRunWord - 1 ? searched - (LongestRunWord - 1) : 0;
    const std::string_view fresh = std::string_view(m_runText).substr(from);
    m_runTextSearched += fresh.size();
    const auto holds = [&fresh](const char* word) {
        return fresh.find(word) != std::string_view::npos;
    };

    // The watchdog starts with the memory allocation and, once the download has started,
    // begins its 30 s again with every chunk. What the run has shown so far counts, not only
    // the last line: the receiver ends its lines, and the watchdog must not die with them.
    m_runSawAllocation = m_runSawAllocation || holds("Memory Alocation");
    m_runSawDownload = m_runSawDownload || holds("Download started");
    // A failed write must be told at the end even when its line is no longer the last.
    m_runSawFailure = m_runSawFailure || holds("Failed to write");
    if (m_runSawDownload && m_window.TimerRunning(TRunTimer::Watchdog))
        m_window.SetTimerRunning(TRunTimer::Watchdog, false);
    if (m_runSawAllocation && !m_window.TimerRunning(TRunTimer::Watchdog))
        m_window.SetTimerRunning(TRunTimer::Watchdog, true);

    if (!holds("C04") && !holds("C24"))
        return;
    EndRun();
    log->SetColor(clBlue);
    if (m_runSawFailure)
        log->Append("Something goes wrong on writing data: maybe increase \"Send comand "
                    "delay\"...");
    log->Append("Now your receiver can start a new download...");
    EnterFrozen();
}

void TReceiverDialogue::Timer1Timer() {
    m_windows.SetClipboardText(m_imageFile);
    const Win::HWND input = m_windows.GetNextDlgTabItem(m_externalWindow, 0, false);
    if (input != 0) {
        m_windows.SendMessage(input, Win::WM_LBUTTONDOWN, Win::MK_LBUTTON, ClickPoint);
        m_windows.SendMessage(input, Win::WM_PASTE, 0, 0);
    }
    m_window.SetTimerRunning(TRunTimer::Paste, false);
}

void TReceiverDialogue::Timer2Timer() {
    EndRun();
    // The window's lamps may let the watchdog come due while the window is torn down.
    if (TLog* log = ActivePageLog()) {
        log->SetColor(clBlue);
        log->Append("Receiver cannot continue download. Check cable connection and return "
                    "receiver on...");
        TellProgramEnd(log);
    }
    EnterFrozen();
}

void TReceiverDialogue::EndRun() {
    m_window.SetTimerRunning(TRunTimer::Paste, false);
    m_window.SetTimerRunning(TRunTimer::Watchdog, false);
    CloseExternalWindow();
    if (m_runToolBar != -1)
        m_window.SetToolBarEnabled(m_runToolBar, true);
}

void TReceiverDialogue::EndUnwatchedRun() {
    // Before "Memory Alocation" nothing would ever end the run: its tool bar would stay
    // disabled and the transfer program open for good. A running watchdog ends it itself.
    if (m_state == rsRunning && !m_window.TimerRunning(TRunTimer::Watchdog))
        EndRun();
}

void TReceiverDialogue::CloseExternalWindow() {
    if (m_externalWindow != 0 && m_windows.IsWindow(m_externalWindow))
        m_windows.SendMessage(m_externalWindow, Win::WM_CLOSE, 0, 0);
}
