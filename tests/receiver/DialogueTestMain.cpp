// The dialogue's tests need no window, but the transfer program's layer runs its programs as
// Qt processes, which want an application object.

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
