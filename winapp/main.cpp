// Vell Writer on Windows: the main window on the receiver dialogue, the settings in the
// registry, the transfer program driven by the system's own window calls.

#include "external/Win32Windows.h"
#include "system/RegistryStore.h"
#include "system/WinImageFiles.h"
#include "winapp/Dialogs.h"
#include "winapp/ExitGuard.h"
#include "winapp/MainWindow.h"
#include "winapp/WinApi.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The logs are RichEdit 2 controls.
    if (LoadLibraryW(L"riched20.dll") == nullptr) {
        MessageBoxW(nullptr, L"The rich text control (riched20.dll) cannot be loaded.",
                    L"Vell Writer 1.0", MB_OK | MB_ICONERROR);
        return 1;
    }
    TSDIAppForm::RegisterClasses(instance);

    TExitGuard exitGuard;
    TSystemDialogs dialogs;
    TRegistryStore settings;
    TWin32Windows windows;
    TWinServices services{dialogs, settings, windows, SystemImageFiles()};
    TSDIAppForm form(services);
    ShowWindow(form.Handle(), show);
    UpdateWindow(form.Handle());

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(form.Handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    exitGuard.WindowClosed();
    return 0;
}
