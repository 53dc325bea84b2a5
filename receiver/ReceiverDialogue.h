#pragma once
// The receiver dialogue: follows the receiver through its start-up (waiting, held frozen in
// its loader, being written), answers its messages, and carries out a programming run from
// the confirmation through the transfer program and the command string to the end the
// receiver reports or the watchdog declares. It holds the state the window's handlers share
// and reaches the window only through TDialogueWindow, and the transfer program only through
// TExternalWindows. UI thread only.

#include "receiver/DialogueWindow.h"
#include "receiver/ExternalWindows.h"
#include "receiver/ImageFileCheck.h"
#include "receiver/ImageFiles.h"
#include "receiver/MessageTables.h"
#include "receiver/ReceiverState.h"

#include <cstdint>
#include <optional>
#include <string>

class TReceiverDialogue {
public:
    TReceiverDialogue(TDialogueWindow& window, TExternalWindows& windows, const TImageFiles& files);

    // --- The state, read-only: changed only by the operations below -------------------------
    TReceiverState ReceiverState() const { return m_state; }
    int32_t SelectedKind() const { return m_selectedKind; }
    // The chosen image file as it was when chosen and confirmed.
    const TImageStamp& ChosenImage() const { return m_chosenImage; }
    // The program's own folder, with a trailing separator: where the transfer program is.
    const std::string& AppDir() const { return m_appDir; }
    void SetAppDir(const std::string& folder) { m_appDir = folder; }
    // A folder of the person's own, with a trailing separator, where a transfer program is
    // looked for first; empty (the default) for none. An installed program's own folder belongs
    // to its package, so the person's real transfer program lives here instead.
    void SetOwnProgramDir(const std::string& folder) { m_ownProgramDir = folder; }
    const MessageTable& ReceiveTable() const { return m_receiveTable; }
    const MessageTable& CommandTable() const { return m_commandTable; }
    Win::HWND ExternalWindow() const { return m_externalWindow; } // the transfer program's
    // The page whose tool bar a run disables; -1 before any run.
    int32_t RunToolBar() const { return m_runToolBar; }
    // The receiver's text collected during a run.
    const std::string& RunText() const { return m_runText; }
    // Whether the run's text has shown the memory allocation, the download's start and a
    // failed write. The watchdog and the end of the run go by these, not by RunText alone,
    // which holds only the last log line while the full communication is not shown.
    bool RunSawAllocation() const { return m_runSawAllocation; }
    bool RunSawDownload() const { return m_runSawDownload; }
    bool RunSawFailure() const { return m_runSawFailure; } // "Failed to write", on any line
    // Bytes of the run's text the text watch has searched for the receiver's words since the
    // dialogue began; each chunk should cost its own length and a short tail, however long the
    // text has grown.
    size_t RunTextSearched() const { return m_runTextSearched; }

    // --- Logs -----------------------------------------------------------------------------------
    // The log for lines about the receiver and the run: the chosen image's page, else the
    // active page's.
    TLog* KindLog() const;
    // The active page's log; the Configuration page has none, so its lines go to the Flash log.
    TLog* ActivePageLog() const;
    // Bytes for the log, in full with their hex values when "Show full comunication" is ticked.
    std::string RenderBytes(const char* bytes, int n) const;

    // --- The receiver's start-up ----------------------------------------------------------------
    void DecRxChar(int32_t Count);
    void DecAfterOpen();
    void DecAfterClose();
    void DecPortChange();
    void ComLed3Change(bool on); // DSR
    void ComLed5Change(bool on); // RLSD
    void ToolButton1Click();
    // Opens the port; when it will not open, adds a line saying why to the active page's log.
    void OpenPort();
    bool PageControl1Changing() const; // whether the page may change
    void SendCommand(int32_t index);
    void CheckFrozen();
    void EnterFrozen();
    void EnterIdle();

    // --- The image file -------------------------------------------------------------------------
    // The chosen image file's path, as the window's open dialog is given it; empty for none.
    const std::string& ImageFileName() const { return m_imageFile; }
    // A file chosen in the open dialog on `kind`'s page: measured, asked about when its size is
    // unusual for the kind, and then taken, with the dropped and the ready load told; or
    // refused, with why, and the earlier choice kept. True when taken.
    bool ChooseImage(int32_t kind, const std::string& path);
    // The folder the next open dialog starts in, for a chosen file: everything up to and
    // including its last separator; empty for a bare name.
    static std::string ImageFolder(const std::string& path);

    // --- The programming run --------------------------------------------------------------------
    void ToolButton16Click(int32_t kind); // a program button, by the kind of its page
    void ToolButton19Click();             // an erase button
    void StartRun();
    // An unrecognised chunk during a run: progress, watchdog and completion.
    void TextWatch(TLog* log, const char* chunk, int32_t count);
    void Timer1Timer();
    void Timer2Timer();
    // Just before a run: whether the chosen image is still the file chosen and confirmed. When
    // it is not, the log says why and the receiver stays frozen. True for an erase.
    bool ImageStillAsChosen(TLog* log);
    // Asks the transfer program's window to close, when it is still there.
    void CloseExternalWindow();
    // The transfer program a run starts: the person's own when there is one (named in the log),
    // otherwise the one in the program's folder.
    std::string TransferProgram(TLog* log) const;
    // Before a run starts `program`: what stands in its way, told in the log; when anything
    // does, the person chooses whether to go on (No by default), once for each state of the
    // program's file. True to go on.
    bool TransferRouteAccepted(TLog* log, const std::string& program);
    // Whether `program` would be given the file at `path` itself by its name; when it would
    // not, the log says why in `log`. True when it would.
    bool ImageNameAccepted(TLog* log, const std::string& program, const std::string& path);

private:
    // Ends a run that no watchdog watches yet when the receiver leaves its loader.
    void EndUnwatchedRun();
    // A run whose transfer program is not there to deliver: ends before its command is sent.
    void EndUnsentRun(TLog* log, const std::string& program, const std::string& why);
    // The run's end, by the receiver or the watchdog: the transfer program closed, its tool bar
    // back and the receiver frozen again.
    void EndRun();
    // A line on how the transfer program ended, when its end explains a failed run.
    void TellProgramEnd(TLog* log);
    std::string EntryLine(const MessageEntry& entry) const;
    // The transfer program a run would start, not told.
    std::string TransferProgramFile() const;

    TDialogueWindow& m_window;
    TExternalWindows& m_windows;
    const TImageFiles& m_files;
    TReceiverState m_state = rsIdle;
    int32_t m_selectedKind = ikNone;
    TImageStamp m_chosenImage;
    std::string m_appDir;
    std::string m_ownProgramDir;
    // The transfer program's file as it was when the person chose to go on despite findings.
    std::optional<TImageStamp> m_acceptedProgram;
    MessageTable m_receiveTable;
    MessageTable m_commandTable;
    Win::HWND m_externalWindow = 0;
    int32_t m_runToolBar = -1;
    std::string m_runText;
    bool m_runSawAllocation = false;
    bool m_runSawDownload = false;
    bool m_runSawFailure = false;
    size_t m_runTextSearched = 0;
    std::string m_imageFile;
    // Where the log's last line starts in the run's text, as the text watch left it.
    size_t m_runLineStart = 0;
};
