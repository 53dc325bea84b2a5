// What the window costs and shows while it starts: the port list read once.

#include "ComComboBox.h"
#include "ComPort.h"
#include "WindowHarness.h"

#include <gtest/gtest.h>

#include <vector>

// Walking the system's devices is a good part of the start-up: the window does it once, when
// the settings are loaded, and the stored position counts in the list as it is then.
TEST(StartupTest, PortListIsReadOnceWhileTheWindowIsBuilt) {
    TWindowHarness harness;
    int reads = 0;
    harness.services.ListPorts = [&](std::vector<std::string>& ports) {
        ++reads;
        ports = {"read" + std::to_string(reads), "COM1", "COM2"};
    };
    harness.store.OpenKey(QStringLiteral("Software\\VellWriter"), true);
    harness.store.WriteInteger(QStringLiteral("ComPort"), 2);
    harness.store.CloseKey();
    const auto form = harness.Build();
    EXPECT_EQ(reads, 1);
    ASSERT_EQ(form->PortList().count(), 3);
    EXPECT_EQ(form->PortList().itemText(0), QStringLiteral("read1"));
    EXPECT_EQ(form->Port().Port(), "COM2");
}
