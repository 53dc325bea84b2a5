#pragma once
// The transfer program's window when the transfer program is a Windows program run by Wine:
// every call is carried out by the window bridge, a Windows console program of ours running
// under Wine, one request and one answer on its standard input and output (BridgeProtocol.h).
//
// One bridge serves the whole life of this object: it is started with the first call (a start
// of Wine costs seconds) and ended with this object, which leaves the Wine server to end by
// itself once nothing else of that prefix runs; other Wine programs of the user are not
// touched. Wine runs in the user's own prefix (WINEPREFIX, or Wine's default): a real transfer
// program needs the user's mapping of the ports it uses.
//
// Every call waits for the answer with its request's number, but not for ever; other lines
// are dropped. Texts of the bridge reach a log only cleaned (Bridge::CleanText). A bridge
// that stalls or ends fails the call (0, false), is ended, says why on the standard error
// output, and the next call starts a new one. Window handles outlive a bridge, since the Wine
// server keeps the windows.
//
// A command line here is the program's Linux path alone; it and a Linux path given as the
// clipboard's text reach Windows as their Wine names ("Z:\..." with Wine's default drives).

#include "external/BridgeProtocol.h"
#include "receiver/ExternalWindows.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QProcess;

// The window bridge's file, beside the program.
inline constexpr char WindowBridgeFile[] = "window-bridge.exe";

struct TWineSetup {
    std::string Wine = "wine"; // the Wine loader: a name looked up on PATH, or a path
    std::string Bridge;        // the window bridge's .exe, a Linux path
    // How long an answer may take. A first start of Wine can update its prefix; WinExec waits
    // until the program's window is up (Wine gives it up to 30 s); SendMessage waits until the
    // transfer program has handled the message.
    int StartMs = 90000;
    int ExecMs = 45000;
    int CallMs = 15000;
    // What stands in the way of a program reaching its cable under Wine (StartFindings); none
    // when unset.
    std::function<std::vector<std::string>(const std::string& program)> RouteCheck;
    // Told the call whose answer is awaited ("start" for the bridge's start), then an empty
    // name once it has come or the call has failed: each call holds its caller's thread, up to
    // the times above. Unset: not told.
    std::function<void(const std::string& call)> Waiting;
};

class TWineWindows final : public TExternalWindows {
public:
    explicit TWineWindows(TWineSetup setup);
    TWineWindows(const TWineWindows&) = delete; // owns the bridge process
    TWineWindows& operator=(const TWineWindows&) = delete;
    ~TWineWindows() override;

    bool WinExec(const std::string& commandLine, int showMode) override;
    std::string StartFailure() const override { return m_startFailure; }
    HWND GetForegroundWindow() override;
    bool CloseWindow(HWND window) override;
    HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) override;
    intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    bool IsWindow(HWND window) override;
    void SetClipboardText(const std::string& text) override;
    void Sleep(int milliseconds) override;
    // The route check's findings, also written to the standard error output.
    std::vector<std::string> StartFindings(const std::string& program) override;
    // A Linux name that Windows would read differently (WindowsNameProblem).
    std::string PathProblem(const std::string& program, const std::string& path) override;
    // Asked of a running bridge only: none was started without one.
    std::optional<uint32_t> ExitStatus() override;

    // Why the last call that failed for the bridge's sake failed; empty when none did.
    std::string BridgeFailure() const { return m_bridgeFailure; }

    // A Wine drive: its letter and the Linux folder it stands for.
    using TDrive = std::pair<char, std::string>;
    // The drives of the prefix's dosdevices folder.
    static std::vector<TDrive> ReadDrives(const std::string& dosdevices);
    // The Windows name of an absolute Linux path: the drive whose folder holds it most
    // closely; Z: (Wine's drive for "/") when none is found.
    static std::string WinePath(const std::string& path, const std::vector<TDrive>& drives);

private:
    std::optional<Bridge::TAnswer> Call(const Bridge::TRequest& request, int milliseconds);
    bool StartBridge();
    void EndBridge();
    void Fail(const std::string& why);
    std::string WineName(const std::string& path) const;

    TWineSetup m_setup;
    std::unique_ptr<QProcess> m_bridge;
    std::vector<TDrive> m_drives;
    // Set when a start failed: later calls fail at once rather than wait for another start,
    // until the next WinExec tries again.
    bool m_startRefused = false;
    bool m_starting = false; // within StartBridge's first call
    std::string m_startFailure;
    std::string m_bridgeFailure;
    // Requests are numbered across bridges, so an answer of an ended one is never taken.
    uint64_t m_lastNumber = 0;
    static constexpr int kMaxIgnoredTold = 20;
    int m_ignoredTold = 0;
};
