#include "app/OpenDialog.h"

#include <gtest/gtest.h>

TEST(OpenDialogTest, FilterBecomesToolkitForm) {
    EXPECT_EQ(ToolkitFilter(QStringLiteral("Dat files|*.dat|Bin files|*.bin|RCU files|*.Rcu|All "
                                           "files|*.*")),
              QStringLiteral("Dat files (*.dat);;Bin files (*.bin);;RCU files (*.Rcu);;All files "
                             "(*.*)"));
    EXPECT_EQ(ToolkitFilter(QStringLiteral("Images|*.dat;*.bin")),
              QStringLiteral("Images (*.dat *.bin)"));
    EXPECT_EQ(ToolkitFilter(QStringLiteral("Dangling")), QString());
    EXPECT_EQ(ToolkitFilter(QString()), QString());
}
