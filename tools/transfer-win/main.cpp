// Vell_par.exe, the stand-in: a Windows transfer program for trying the Windows forms out and
// for tests, under Wine. It does what a run relies on and no more: its main window comes to
// the foreground when started, the first control in its tab order is the path input, which
// takes a paste, it closes on WM_CLOSE, and it delivers the pasted image by itself, here to the
// receiver simulator over loopback TCP or over the cable VELL_STANDIN_CABLE names (Cable.h).
// What it saw goes to VELL_STANDIN_RECORD (Record.h).

#include "tools/transfer-win/StandInWindow.h"

#include <windows.h>
#include <winsock2.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    WSADATA sockets{};
    if (::WSAStartup(MAKEWORD(2, 2), &sockets) != 0)
        return 1;
    int code = 1;
    {
        TStandInWindow window;
        if (window.Create(instance, showCommand)) {
            MSG message{};
            while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (::IsDialogMessageW(window.Window(), &message))
                    continue; // Tab moves between the controls
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            code = int(message.wParam);
        }
    }
    ::WSACleanup();
    return code;
}
