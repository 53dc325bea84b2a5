// The window as Vell Writer and a person see it, on the offscreen platform, delivering to
// stand-in simulators in a runtime folder of the test's own.

#include "tools/transfer/TransferWindow.h"

#include "tests/tools/transfer/SimulatorStandIn.h"
#include "tools/transfer/Requests.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TransferWindow : public testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(5000, 'Z')) == 5000);
        window.show();
    }
    QString Label(const char* name) const { return window.findChild<QLabel*>(name)->text(); }
    bool StatusIs(const QString& status) {
        return PumpUntil([&] { return window.Status() == status; });
    }

    QTemporaryDir runtime;
    const QString image = runtime.filePath("100% image.bin");
    const QString ports = runtime.filePath("vell-writer/ports/");
    TTransferWindow window;
    QLineEdit* path = window.findChild<QLineEdit*>("path");
    QProgressBar* progress = window.findChild<QProgressBar*>("progress");
};

} // namespace

TEST_F(TransferWindow, RequestsReachTheWindowAndItsFirstControlIsThePathInput) {
    EXPECT_EQ(window.windowTitle(), "Vell_par");
    QWidget* first = window.nextInFocusChain();
    while (!(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    EXPECT_EQ(first, path);

    const QString before = window.Status();
    window.HandleRequest(ParseRequest("minimize"));
    EXPECT_TRUE(window.isMinimized());
    first->nextInFocusChain()->setFocus(); // away from the input, for the click to bring back
    window.HandleRequest(ParseRequest("click 25 30"));
    EXPECT_EQ(window.focusWidget(), path);
    window.HandleRequest(ParseRequest("frobnicate 1 2"));
    EXPECT_EQ(window.Status(), before);
    window.HandleRequest(ParseRequest("close"));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TransferWindow, PastedPathReplacesTheInputAndIsDeliveredWithProgress) {
    TSimulatorStandIn simulator(ports + "COM1.transfer");
    ASSERT_TRUE(simulator.listening);
    path->setText("/an/earlier/path");
    window.HandleRequest(ParseRequest("paste " + image.toUtf8().replace("%", "%25")));
    EXPECT_EQ(path->text(), image);
    EXPECT_EQ(Label("file"), "100% image.bin");
    EXPECT_TRUE(Label("size").startsWith("5000 bytes (")) << Label("size").toStdString();
    EXPECT_EQ(window.Status(),
              "Delivering 100% image.bin to the receiver simulator on COM1.transfer…");

    ASSERT_TRUE(PumpUntil([&] { return simulator.HasWholeImage(); }));
    simulator.Answer("PROGRESS 2500\n"); // the bar follows the simulator's count, not ours
    ASSERT_TRUE(PumpUntil([&] { return progress->value() == progress->maximum() / 2; }));
    EXPECT_EQ(progress->text(), "2500 of 5000 bytes");
    simulator.Answer("OK 5000\n");
    EXPECT_TRUE(StatusIs("Done: 5000 bytes delivered"));
    EXPECT_EQ(progress->value(), progress->maximum());
}

TEST_F(TransferWindow, EnterGoesToTheFirstSimulatorByNameAndANewPathWaitsItsTurn) {
    TSimulatorStandIn second(ports + "b.transfer");
    TSimulatorStandIn first(ports + "B.transfer"); // character order, not the locale's
    path->setText(image);
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_EQ(window.Status(), "Delivering 100% image.bin to the receiver simulator on "
                               "B.transfer, the first of 2 running…");
    EXPECT_TRUE(StatusIs("All 5000 bytes sent; waiting for the receiver simulator to confirm…"));
    EXPECT_TRUE(PumpUntil([&] { return first.HasWholeImage(); }));
    EXPECT_EQ(second.client, nullptr);

    window.HandleRequest(ParseRequest("paste /other.bin"));
    EXPECT_EQ(path->text(), image);
    EXPECT_EQ(window.Status(), "Still delivering 100% image.bin: the new path was not taken.");
    first.client->disconnectFromServer();
    EXPECT_TRUE(StatusIs("The receiver simulator went away after 5000 of 5000 bytes."));
    EXPECT_FALSE(path->isReadOnly());
}
