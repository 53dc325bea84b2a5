// Start-up: the application object and its title, the main window, the About box, then the
// message loop until the main window has closed.

#include "AboutBox.h"
#include "Application.h"
#include "ChildProcessWindows.h"
#include "Dialogs.h"
#include "FailureReport.h"
#include "SDIAppForm.h"
#include "SettingsStore.h"
#include "UiHandOver.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("Vell Writer 1.0"));
    application.setDesktopFileName(QStringLiteral("vell-writer"));
    TQtDialogs dialogs;
    application.SetDialogs(&dialogs);
    // Port events are handed to this thread; a handler's failure gets the failure report.
    InstallUiHandOver();
    SetUiFailureReporter([] { ReportCurrentException(); });

    TSettingsStore settings;
    TChildProcessWindows windows;
    TServices services{dialogs, settings, windows};
    TSDIAppForm SDIAppForm(services);
    TAboutBox AboutBox;
    SDIAppForm.SetAboutBox(&AboutBox);

    SDIAppForm.show();
    application.exec();
    return 0;
}
