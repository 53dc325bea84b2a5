// The port setting list as a real widget on a real port: what it offers and selects, what a
// user's pick does to the port, and what selecting from code must not do.

#include "controls/ComComboBox.h"

#include "controls/UiHandOver.h"
#include "serial/ComConvert.h"
#include "tests/support/FakeDevice.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

TPortLister Ports(const std::vector<std::string>& names) {
    return [names](std::vector<std::string>& list) { list = names; };
}

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// A user's pick, through the widget's own keyboard handling: the arrow moves one item on.
void UserPressesDown(QComboBox& box) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&box, &press);
}

TEST(ComComboBoxTest, OffersTheItemsOfItsSettingAndSelectsThePortsValue) {
    struct Row {
        TComProperty property;
        std::function<void(TComPort&)> prepare;
        QStringList items;
        QString selected;
    };
    const std::vector<std::string> devices = {"ttyS0", "ttyS1", "ttyUSB0"};
    const Row rows[] = {
        {cpBaudRate,
         [](TComPort& p) { p.SetBaudRate(br19200); },
         {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
          "56000", "57600", "115200", "128000", "256000"},
         "19200"},
        {cpDataBits, [](TComPort& p) { p.SetDataBits(dbSeven); }, {"5", "6", "7", "8"}, "7"},
        {cpStopBits, [](TComPort& p) { p.SetStopBits(sbTwoStopBits); }, {"1", "1.5", "2"}, "2"},
        {cpParity,
         [](TComPort& p) { p.Parity().SetBits(prMark); },
         {"None", "Odd", "Even", "Mark", "Space"},
         "Mark"},
        {cpFlowControl, // the receiver's handshake: RTS without CTS output flow
         [](TComPort& p) {
             p.FlowControl().SetControlDTR(dtrHandshake);
             p.FlowControl().SetControlRTS(rtsHandshake);
         },
         {"Hardware", "Software", "None", "Custom"},
         "Custom"},
        {cpPort, [](TComPort& p) { p.SetPort("ttyS1"); }, {"ttyS0", "ttyS1", "ttyUSB0"}, "ttyS1"},
        {cpPort, [](TComPort&) {}, {"ttyS0", "ttyS1", "ttyUSB0"}, ""}, // "COM1" is not listed
        {cpNone, [](TComPort&) {}, {}, ""},
    };
    for (const Row& row : rows) {
        // In code the port comes first; a stored form sets the property and resolves the port
        // afterwards. Both must end alike.
        for (bool portFirst : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "property " << row.property << ", port first " << portFirst);
            TComPort port(nullptr);
            row.prepare(port);
            TComComboBox combo(nullptr, Ports(devices));
            if (portFirst)
                combo.SetComPort(&port);
            combo.SetComProperty(row.property);
            combo.SetComPort(&port);
            EXPECT_EQ(Items(combo), row.items);
            EXPECT_EQ(combo.Text(), row.selected);
            EXPECT_EQ(combo.currentIndex(), row.items.indexOf(row.selected));
        }
    }
}

TEST(ComComboBoxTest, PickedValueReachesThePortOnlyWhenApplied) {
    struct Row {
        TComProperty property;
        std::function<void(TComPort&)> prepare;
        std::function<std::string(TComPort&)> read;
    };
    const Row rows[] = {
        {cpStopBits, [](TComPort&) {}, [](TComPort& p) { return StopBitsToStr(p.StopBits()); }},
        {cpParity, [](TComPort& p) { p.Parity().SetBits(prOdd); },
         [](TComPort& p) { return ParityToStr(p.Parity().Bits()); }},
        {cpFlowControl, [](TComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); },
         [](TComPort& p) { return FlowControlToStr(p.FlowControl().GetFlowControl()); }},
        {cpPort, [](TComPort& p) { p.SetPort("ttyS0"); }, [](TComPort& p) { return p.Port(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "property " << row.property);
        TComPort port(nullptr);
        row.prepare(port);
        TComComboBox combo(nullptr, Ports({"ttyS0", "ttyS1"}));
        combo.SetComPort(&port);
        combo.SetComProperty(row.property);
        const std::string before = row.read(port);
        UserPressesDown(combo);
        const std::string picked = combo.Text().toStdString();
        ASSERT_NE(picked, before);
        EXPECT_EQ(row.read(port), before); // AutoApply is off by default
        combo.ApplySettings();
        EXPECT_EQ(row.read(port), picked);
    }
}

class ComComboBoxOnPortTest : public testing::Test {
protected:
    ComComboBoxOnPortTest() {
        port.SetPort(name);
        port.Events = TComEvents(); // no event thread needed
        port.SetDataBits(dbSeven);
        combo.SetComPort(&port);
        combo.SetComProperty(cpDataBits);
        combo.OnChange = [this](TObject* sender) {
            EXPECT_EQ(sender, static_cast<TObject*>(&combo));
            ++changes;
            dataBitsInOnChange = port.DataBits();
        };
    }
    const std::string name = "COMBO" + std::to_string(reinterpret_cast<uintptr_t>(this));
    std::shared_ptr<Platform::TFakeLine> line = Platform::TFakeLine::Publish(name);
    TComPort port{nullptr};
    TComComboBox combo;
    int changes = 0;
    TDataBits dataBitsInOnChange = dbFive;
};

TEST_F(ComComboBoxOnPortTest, UserPickRunsOnChangeAfterAutoApply) {
    port.Open();
    for (bool autoApply : {true, false}) {
        SCOPED_TRACE(testing::Message() << "AutoApply " << autoApply);
        port.SetDataBits(dbSeven);
        combo.UpdateSettings();
        combo.SetAutoApply(autoApply);
        changes = 0;
        UserPressesDown(combo);
        ASSERT_EQ(combo.Text(), "8");
        EXPECT_EQ(changes, 1);
        const TDataBits expected = autoApply ? dbEight : dbSeven;
        EXPECT_EQ(dataBitsInOnChange, expected);
        EXPECT_EQ(line->LastState().ByteSize, autoApply ? 8 : 7); // the device, not only a field
    }
}

TEST_F(ComComboBoxOnPortTest, SelectingFromCodeWritesNothingAndFiresNothing) {
    combo.SetAutoApply(true);
    combo.setCurrentIndex(0);
    combo.SetText("6");
    ASSERT_EQ(combo.Text(), "6");
    for (const char* unlisted : {"9", "", " 8", "Eight"}) {
        combo.SetText(unlisted);
        EXPECT_EQ(combo.Text(), "6") << unlisted;
    }
    combo.SetComProperty(cpDataBits);
    port.SetStopBits(sbTwoStopBits);
    combo.SetComProperty(cpStopBits);
    combo.UpdateSettings();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(port.DataBits(), dbSeven);
    EXPECT_EQ(combo.Text(), "2");
}

TEST_F(ComComboBoxOnPortTest, NoPropertyOffersNothingAndAppliesNothing) {
    UserPressesDown(combo); // "8" chosen, not applied
    combo.SetComProperty(cpNone);
    EXPECT_EQ(combo.count(), 0);
    UserPressesDown(combo);
    EXPECT_EQ(changes, 1);
    combo.ApplySettings();
    EXPECT_EQ(port.DataBits(), dbSeven);
}

TEST_F(ComComboBoxOnPortTest, PortFailureInAUserPickIsReportedNotThrown) {
    int reports = 0;
    SetUiFailureReporter([&] { ++reports; });
    port.SetDataBits(dbEight);
    port.Open();
    combo.SetComProperty(cpStopBits);
    combo.SetAutoApply(true);
    UserPressesDown(combo); // 1.5 stop bits with 8 data bits: the device refuses
    SetUiFailureReporter(nullptr);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(changes, 0); // the owner hears of no change that failed
}

TEST(ComComboBoxTest, ForgetsTheAssignedPortWhenItIsDestroyed) {
    auto replaced = std::make_unique<TComPort>(nullptr);
    auto port = std::make_unique<TComPort>(nullptr);
    port->SetDataBits(dbSeven);
    TComComboBox combo;
    combo.SetComPort(replaced.get());
    combo.SetComPort(port.get());
    combo.SetComProperty(cpDataBits);
    replaced.reset(); // no longer served: nothing changes
    EXPECT_EQ(combo.ComPort(), port.get());
    EXPECT_EQ(combo.Text(), "7");
    port.reset();
    EXPECT_EQ(combo.ComPort(), nullptr);
    EXPECT_EQ(combo.Text(), "5");
    combo.ApplySettings(); // nothing left to write to
}

} // namespace
