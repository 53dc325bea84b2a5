// The controls run on a real (offscreen) application, with port events handed over to it as
// in the program.

#include "controls/UiHandOver.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    InstallUiHandOver();
    return RUN_ALL_TESTS();
}
