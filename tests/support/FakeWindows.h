#pragma once
// Stands in for the transfer program's window in tests: records every request in order.

#include "receiver/ExternalWindows.h"

#include <optional>
#include <string>
#include <vector>

class TFakeWindows final : public TExternalWindows {
public:
    std::vector<std::string> calls; // "exec <command line>", "minimize 7", "click", ...
    std::string clipboard;
    bool running = false;   // whether the started program's window is still there
    bool staysOpen = false; // the program ignores close requests
    HWND window = 7;
    std::vector<std::string> findings;  // what StartFindings finds in any program
    std::optional<uint32_t> exitStatus; // the started program's, once ended
    std::string pathProblem;            // what PathProblem finds in any path

    bool WinExec(const std::string& commandLine, int showMode) override {
        calls.push_back("exec " + commandLine + " " + std::to_string(showMode));
        running = true;
        return true;
    }
    HWND GetForegroundWindow() override { return running ? window : 0; }
    bool CloseWindow(HWND handle) override {
        calls.push_back("minimize " + std::to_string(handle));
        return true;
    }
    HWND GetNextDlgTabItem(HWND dialog, HWND, bool) override {
        return running && dialog == window ? window + 1 : 0;
    }
    intptr_t SendMessage(HWND handle, uint32_t message, uintptr_t, intptr_t) override {
        if (!running)
            return 0;
        switch (message) {
        case Win::WM_LBUTTONDOWN: calls.push_back("click " + std::to_string(handle)); break;
        case Win::WM_PASTE: calls.push_back("paste " + clipboard); break;
        case Win::WM_CLOSE:
            calls.push_back("close " + std::to_string(handle));
            running = staysOpen;
            break;
        default: break;
        }
        return 0;
    }
    bool IsWindow(HWND handle) override { return running && handle == window; }
    std::string StartFailure() const override { return {}; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }
    void Sleep(int milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
    }
    std::vector<std::string> StartFindings(const std::string&) override { return findings; }
    std::string PathProblem(const std::string&, const std::string&) override { return pathProblem; }
    std::optional<uint32_t> ExitStatus() override { return exitStatus; }
};
