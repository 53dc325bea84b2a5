#include "winapp/AboutBox.h"

#include "winapp/ControlIds.h"
#include "winapp/Layout.h"

using Layout::Child;
using Layout::Px;

namespace {

// A dialog with no items of its own (they are made when it opens): the header, no menu, the
// system's dialog class and the caption.
struct alignas(4) TAboutTemplate {
    DLGTEMPLATE header{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 0, 0, 0, 0};
    WORD menu = 0;
    WORD windowClass = 0;
    wchar_t caption[6] = L"About";
};

void Build(HWND dialog) {
    // A client area of 298 x 218, centred on the screen.
    RECT frame{0, 0, Px(298), Px(218)};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);

    HWND panel =
        Child(dialog, L"STATIC", L"", 0, WinIds::AboutPanel, 8, 8, 281, 161, WS_EX_STATICEDGE);
    // The program's own picture, from its resources (none in a program without them).
    HWND picture =
        Child(panel, L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, WinIds::ProgramIcon, 8, 8, 65, 57);
    if (HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, Px(48),
                                 Px(48), LR_SHARED))
        SendMessageW(picture, STM_SETICON, WPARAM(icon), 0);
    Child(panel, L"STATIC", L"Product Name", SS_NOPREFIX, WinIds::ProductName, 88, 16, 185, 16);
    Child(panel, L"STATIC", L"Version", SS_NOPREFIX, WinIds::Version, 88, 40, 185, 16);
    Child(panel, L"STATIC", L"Copyright", SS_NOPREFIX, WinIds::Copyright, 8, 80, 265, 16);
    // A static control wraps its text over its lines.
    Child(panel, L"STATIC", L"Comments", SS_NOPREFIX | SS_LEFT, WinIds::Comments, 8, 104, 265, 49);
    HWND ok = Child(dialog, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, WinIds::OKButton, 111,
                    180, 75, 25);
    SetFocus(ok);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: Build(dialog); return FALSE; // the focus is set
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

} // namespace

void ShowAboutBox(HWND owner) {
    static const TAboutTemplate about;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &about.header, owner, AboutProc, 0);
}
