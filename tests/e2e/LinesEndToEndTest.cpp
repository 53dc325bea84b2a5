// The receiver's DSR and RLSD lines end to end: the simulator switches them as a real receiver
// does (emulated modem lines on its pseudo-terminal), and the window's lamps, log and state
// follow through the real port.

#include "tests/e2e/EndToEndHarness.h"
#include "tests/support/ModemLines.h"

using namespace EndToEnd;

namespace {

class LinesEndToEndTest : public TEndToEndTest {
protected:
    // Made before SetUp starts the simulator, which takes the lines' folder from the
    // environment.
    const ModemLines::TPrivateModemLines seam;
    std::unique_ptr<ModemLines::TModemLines> lines; // an onlooker's

    // Until the window's port waits for a change of the lines: one made before would go
    // unseen, as on a real line.
    void AwaitWatcher() {
        if (!lines) {
            const QString link = home.filePath(QStringLiteral("vell-writer/ports/e2e0"));
            lines = std::make_unique<ModemLines::TModemLines>(
                QFileInfo(link).symLinkTarget().toStdString(), seam.Folder(), false);
        }
        ASSERT_TRUE(lines->WaitForWatcher());
    }

    // DSR and RLSD lamps of the Flash page, "DSR RLSD" as 0 and 1.
    std::string Lamps() const {
        std::string shown;
        for (const char* name : {"ComLed3", "ComLed5"})
            shown += Child<TComLed>(*form, name)->State() == lsOn ? '1' : '0';
        return shown;
    }
};

TEST_F(LinesEndToEndTest, LampsLogAndStateFollowTheReceiversLines) {
    EXPECT_EQ(Lamps(), "00") << "the receiver is off";

    // Switched on, it sends its start string, is frozen, and holds RLSD with DSR down.
    AwaitWatcher();
    SwitchOnAndFreeze();
    EXPECT_TRUE(PumpUntil([&] { return Lamps() == "01"; })) << Lamps();

    // The port opened on a frozen receiver: the lamps show it, and the window asks.
    form->ToolButton1Click(form->PortButtons()[0]);
    ASSERT_FALSE(form->Port().Connected());
    dialogs.shown.clear();
    dialogs.answers = {true};
    form->ToolButton1Click(form->PortButtons()[0]);
    ASSERT_TRUE(form->Port().Connected());
    EXPECT_EQ(Lamps(), "01");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text.toStdString(),
              "Your receiver seems to be yet \"freeze\". Is it correct?");
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);

    // Switched off: RLSD goes, and with it the frozen state.
    AwaitWatcher();
    Command("off");
    ASSERT_TRUE(PumpUntil([&] { return Lamps() == "00"; })) << Lamps();
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsIdle);
    TLogEdit* log = form->Logs()[0];
    EXPECT_EQ(log->Line(log->LineCount() - 1), "Receiver turn off...");
    for (TToolButton* run : form->RunButtons())
        EXPECT_FALSE(run->isEnabled());

    // Switched on again: DSR lights, the start string follows, and it freezes anew.
    AwaitWatcher();
    Command("on");
    ASSERT_TRUE(PumpUntil([&] { return form->Dialogue().ReceiverState() == rsFrozen; }))
        << Transcript().toStdString();
    EXPECT_TRUE(PumpUntil([&] { return Lamps() == "01"; })) << Lamps();
}

} // namespace
