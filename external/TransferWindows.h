#pragma once
// The one place that chooses how the transfer program's window is driven. At each start, a
// program file that is a Windows executable (it begins with "MZ") is run under Wine through
// the window bridge; anything else runs as a child process of ours, driven on its standard
// input. Every later call of that run goes to the form that started it.

#include "receiver/ExternalWindows.h"

class TTransferWindows final : public TExternalWindows {
public:
    TTransferWindows(TExternalWindows& childProcess, TExternalWindows& wine)
        : m_childProcess(childProcess), m_wine(wine) {}

    bool WinExec(const std::string& commandLine, int showMode) override;
    std::string StartFailure() const override { return m_current->StartFailure(); }
    HWND GetForegroundWindow() override { return m_current->GetForegroundWindow(); }
    bool CloseWindow(HWND window) override { return m_current->CloseWindow(window); }
    HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) override {
        return m_current->GetNextDlgTabItem(dialog, control, previous);
    }
    intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override {
        return m_current->SendMessage(window, message, wParam, lParam);
    }
    bool IsWindow(HWND window) override { return m_current->IsWindow(window); }
    void SetClipboardText(const std::string& text) override { m_current->SetClipboardText(text); }
    void Sleep(int milliseconds) override { m_current->Sleep(milliseconds); }
    // The form that would start `program` checks it.
    std::vector<std::string> StartFindings(const std::string& program) override;
    std::string PathProblem(const std::string& program, const std::string& path) override;
    std::optional<uint32_t> ExitStatus() override { return m_current->ExitStatus(); }

    // Whether the file at `path` is a Windows executable. Never blocks: a FIFO or a device
    // under that name is not one.
    static bool IsWindowsProgram(const std::string& path);

private:
    TExternalWindows& m_childProcess;
    TExternalWindows& m_wine;
    TExternalWindows* m_current = &m_childProcess;
};
