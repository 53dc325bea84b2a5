// Start-up: the application object and its title, the main window, the About box, then the
// message loop until the main window has closed.

#include "AboutBox.h"
#include "Application.h"
#include "Dialogs.h"
#include "SDIAppForm.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("Vell Writer 1.0"));
    application.setDesktopFileName(QStringLiteral("vell-writer"));
    TQtDialogs dialogs;
    application.SetDialogs(&dialogs);

    TSDIAppForm SDIAppForm(dialogs);
    TAboutBox AboutBox;
    SDIAppForm.SetAboutBox(&AboutBox);

    SDIAppForm.show();
    application.exec();
    return 0;
}
