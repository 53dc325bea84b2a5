#pragma once
// The transfer program's window on Windows: the system's own process, window and clipboard
// calls. The window bridge carries these out under Wine for the Linux program; a Windows build
// of the program would use them directly.
//
// Where it goes beyond the plain calls, it does so to keep a run's promises:
// - WinExec takes the command line as a program file's path, spaces and all, and refuses it
//   when no such file exists, so a folder with spaces ("C:\Program Files\...") never starts a
//   planted "C:\Program.exe" instead, whether its program is there or not. It returns once the
//   program waits for input and shows its main window, or has ended, or after kInputIdleMs. The
//   program gets no standard handles of this process.
// - GetForegroundWindow gives only windows of the program this object started: the foreground
//   window when it is one of them, otherwise its main window (visible, unowned, with controls
//   preferred), otherwise none. Before a start, or after one that failed, it gives none; so
//   nothing is left that a run would minimise and close, not even the user's window that
//   happens to be in front.
// - SendMessage returns once the window has handled the message, or reports ERROR_TIMEOUT
//   (1460) after kSendTimeoutMs or at once for a hung window (the message then stays with the
//   window). A window that has gone is skipped with ERROR_INVALID_WINDOW_HANDLE (1400); a
//   window of this process is refused with ERROR_ACCESS_DENIED (5).
// - The point of a WM_LBUTTONDOWN is taken in the control's client coordinates; a point
//   outside the control's client area is moved to the nearest point inside it, so the click
//   always lands in the control.
// - Sleep waits between 0 and kMaxSleepMs.
//
// After each call LastError() holds the system's error code for it, 0 when it succeeded.

#include "receiver/ExternalWindows.h"

#include <cstdint>
#include <optional>
#include <string>

class TWin32Windows final : public TExternalWindows {
public:
    static constexpr uint32_t kInputIdleMs = 10000;
    static constexpr uint32_t kSendTimeoutMs = 10000;
    static constexpr int kMaxSleepMs = 60000;

    TWin32Windows() = default;
    ~TWin32Windows() override;
    TWin32Windows(const TWin32Windows&) = delete;
    TWin32Windows& operator=(const TWin32Windows&) = delete;

    bool WinExec(const std::string& commandLine, int showMode) override;
    std::string StartFailure() const override { return m_startFailure; }
    HWND GetForegroundWindow() override;
    bool CloseWindow(HWND window) override;
    HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) override;
    intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    bool IsWindow(HWND window) override;
    void SetClipboardText(const std::string& text) override { PutClipboardText(text); }
    void Sleep(int milliseconds) override;
    std::optional<uint32_t> ExitStatus() override;

    // SetClipboardText with its outcome.
    bool PutClipboardText(const std::string& text);
    uint32_t LastError() const { return m_lastError; }

private:
    bool StartFailed(uint32_t error);
    void ForgetProgram();

    void* m_program = nullptr; // the process handle of the program last started
    uint32_t m_programId = 0;
    uint32_t m_lastError = 0;
    std::string m_startFailure;
};
