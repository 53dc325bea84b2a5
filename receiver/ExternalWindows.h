#pragma once
// The transfer program's window as a programming run drives it: start the program, take the
// window that came up, minimise it, click and paste into its first control, close it, ask
// whether it is still there; and the clipboard and a sleep. One interface, so that the Windows
// form (real window messages), the Wine form (the same messages through a bridge) and the
// child-process form of Linux sit side by side and tests can fake it.
//
// Free of Qt and of <windows.h>: the Windows form includes this before the system's header,
// whose macros would otherwise clash with these names. Texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Win {
using HWND = intptr_t; // 0: no window

constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_PASTE = 0x0302;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uintptr_t MK_LBUTTON = 0x0001;
constexpr int SW_SHOWMINIMIZED = 2;
// How a program ends that executes a privileged instruction, such as a direct port access.
constexpr uint32_t STATUS_PRIVILEGED_INSTRUCTION = 0xC0000096;
} // namespace Win

class TExternalWindows {
public:
    using HWND = Win::HWND;

    virtual ~TExternalWindows() = default;
    // Starts a program by its command line; false when it could not be started, and then
    // StartFailure() says why in one line.
    virtual bool WinExec(const std::string& commandLine, int showMode) = 0;
    virtual std::string StartFailure() const = 0;
    // The window in front; never one of this program's own.
    virtual HWND GetForegroundWindow() = 0;
    virtual bool CloseWindow(HWND window) = 0; // minimises, does not destroy
    // The first (or next) control of a window in tab order; 0 when there is none.
    virtual HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) = 0;
    // Returns once the window has handled the message; a gone window is skipped.
    virtual intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) = 0;
    virtual bool IsWindow(HWND window) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    virtual void Sleep(int milliseconds) = 0;

    // What stands in the way of `program` reaching the receiver, found without starting it or
    // touching a port: one line each, UTF-8; empty when nothing was found or the form has
    // nothing to check.
    virtual std::vector<std::string> StartFindings(const std::string& program) {
        (void)program;
        return {};
    }
    // Why `path`, a file the program `program` is to be given by name, would be read as another
    // file or none by the program's system; one line, UTF-8, empty when it would be read as is.
    virtual std::string PathProblem(const std::string& program, const std::string& path) {
        (void)program;
        (void)path;
        return {};
    }
    // The exit status of the program last started once it has ended; none while it runs, when
    // none was started, or when the form cannot tell.
    virtual std::optional<uint32_t> ExitStatus() { return std::nullopt; }
};
