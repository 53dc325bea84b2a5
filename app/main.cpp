// Start-up: the application object and its title, the main window, the About box, then the
// message loop until the main window has closed.

#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/FailureReport.h"
#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "controls/UiHandOver.h"
#include "external/ChildProcessWindows.h"
#include "external/TransferWindows.h"
#include "external/WineRouteCheck.h"
#include "external/WineWindows.h"

#include <QDir>

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("Vell Writer 1.0"));
    application.setDesktopFileName(QStringLiteral("invalid.vellwriter.VellWriter"));
    TQtDialogs dialogs;
    application.SetDialogs(&dialogs);
    // Port events are handed to this thread; a handler's failure gets the failure report.
    InstallUiHandOver();
    SetUiFailureReporter([] { ReportCurrentException(); });

    TSettingsStore settings;
    // The transfer program runs as a child process, or under Wine when it is a Windows
    // program; the window bridge that drives it there lies beside this program.
    TChildProcessWindows childProcessWindows;
    TWineSetup wine;
    wine.Bridge = QDir(QCoreApplication::applicationDirPath())
                      .filePath(QLatin1String(WindowBridgeFile))
                      .toStdString();
    // Before a run under Wine: what would keep the transfer program from its cable.
    wine.RouteCheck = [](const std::string& program) {
        return WineRouteFindings(program, WinePrefixFolder());
    };
    // A call under Wine holds this thread for up to seconds: the window says what it awaits.
    TSDIAppForm* shownForm = nullptr;
    wine.Waiting = [&shownForm](const std::string& call) {
        if (shownForm != nullptr)
            shownForm->ShowWaiting(QString::fromStdString(call));
    };
    TWineWindows wineWindows(wine);
    TTransferWindows windows(childProcessWindows, wineWindows);
    TServices services{dialogs, settings, windows};
    TSDIAppForm SDIAppForm(services);
    shownForm = &SDIAppForm;
    TAboutBox AboutBox;
    SDIAppForm.SetAboutBox(&AboutBox);

    SDIAppForm.show();
    application.exec();
    return 0;
}
