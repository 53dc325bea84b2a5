#pragma once
// Connects the port's hand-over and failure reports to the Windows message loop: the calling
// thread becomes the UI thread, queued hand-overs are served when the main window gets
// WinIds::ServeHandOvers (posted to it for each), and a failure a port catches is shown in
// the failure box on the UI thread (posted there when it arose on another thread).

#include "winapp/Dialogs.h"
#include "winapp/WinApi.h"

// Call once, on the UI thread, once the main window exists; `window` serves the hand-overs.
void InstallWinHandOver(HWND window, TWinDialogs& dialogs);
// Removes what InstallWinHandOver installed, before the window goes.
void RemoveWinHandOver();
// Shows the failure being handled in the failure box over `owner`; inside a catch block only.
void ReportCurrentException(HWND owner, TWinDialogs& dialogs) noexcept;
// Served by the main window for WinIds::ServeHandOvers and ReportFailure.
void ServeHandOvers();
// Posted with a heap-held failure (WPARAM) from another thread; the window reports it.
constexpr UINT ReportFailureMessage = 0x8000 + 2; // WM_APP + 2
void ReportPostedFailure(WPARAM failure) noexcept;
