#pragma once
// The transfer program's window on Linux: the program runs as a child process and its
// "window" is the child itself, reached through a line channel on its standard input:
//
//   minimize            the window was asked to minimise
//   click X Y           a left-button press at (X, Y) in its first control
//   paste TEXT          paste TEXT into its first control (the text given as the clipboard's,
//                       which stays in this object: the desktop's clipboard is left alone;
//                       "%" is sent as "%25", a line feed as "%0A", a carriage return as "%0D")
//   close               close the window; the program should exit
//
// A request to a program that has exited is skipped. A close waits up to two seconds for the
// program to end, then leaves it.

#include "receiver/ExternalWindows.h"

#include <QObject>
#include <map>
#include <memory>

class QProcess;

class TChildProcessWindows final : public QObject, public TExternalWindows {
    Q_OBJECT
public:
    TChildProcessWindows();
    TChildProcessWindows(const TChildProcessWindows&) = delete; // owns its child processes
    TChildProcessWindows& operator=(const TChildProcessWindows&) = delete;
    ~TChildProcessWindows() override;

    bool WinExec(const std::string& commandLine, int showMode) override;
    std::string StartFailure() const override { return m_startFailure; }
    HWND GetForegroundWindow() override;
    bool CloseWindow(HWND window) override;
    HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) override;
    intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    bool IsWindow(HWND window) override;
    void SetClipboardText(const std::string& text) override;
    void Sleep(int milliseconds) override;

    // The line a request becomes on the channel.
    static QByteArray PasteLine(const std::string& text);

private:
    QProcess* Process(HWND window) const;
    bool Send(HWND window, const QByteArray& line);

    std::map<HWND, QProcess*> m_windows; // owned by this object (QObject children)
    HWND m_next = 1;
    HWND m_foreground = 0;
    std::string m_startFailure;
    std::string m_clipboard; // the "clipboard" a paste takes its text from
};
