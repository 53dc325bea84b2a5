// Widget tests run inside our own application object, so the failure report and the dialog
// seam behave as in the program. Run with QT_QPA_PLATFORM=offscreen where there is no display.

#include "app/Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The tests need no screen; a display, where there is one, is used only when asked for.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("Vell Writer 1.0"));
    return RUN_ALL_TESTS();
}
