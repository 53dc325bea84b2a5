// The receiver's start-up as the window follows it on a real port over the fake line: the lamps,
// the start string and its answers, the freeze, the question at open, and a change of port.

#include "ComComboBox.h"
#include "DialogueHarness.h"
#include "ImageList.h"
#include "ToolButton.h"

#include <QCheckBox>

using namespace Dialogue;

namespace {

const char* const NoImageLine =
    "Now your receiver is freeze. Select a file to download and when ready push the program "
    "button...";

class ReceiverDialogueTest : public TDialogueTest {
protected:
    bool RunButtonsEnabled(bool enabled) const {
        for (TToolButton* button : form->RunButtons())
            if (button->isEnabled() != enabled)
                return false;
        return true;
    }
};

TEST_F(ReceiverDialogueTest, AlwaysFreezeTakesTheReceiverFromTurnOnToFrozen) {
    ASSERT_TRUE(OpenPort());
    TLogEdit* log = form->RichEdit1;
    line->SetLines(MS_DSR_ON);
    ASSERT_TRUE(PumpUntil([&] { return LastLine(log) == "Receiver turn on..."; }));
    EXPECT_EQ(log->LineColor(log->LineCount() - 1), clBlue);
    EXPECT_EQ(form->ReceiverState, rsIdle);

    ASSERT_TRUE(Receive(StartString));
    EXPECT_EQ(Lines(log), (std::vector<std::string>{"Received start string...",
                                                    "Sending command string 1...",
                                                    "Sending command string 2..."}));
    EXPECT_EQ(Colors(log), (std::vector<TColor>{clTeal, clNavy, clNavy}));
    EXPECT_EQ(line->WaitSent(16, 5000), "STX,EF81DD51,ETX");

    ASSERT_TRUE(Receive(FreezeAck));
    EXPECT_EQ(Lines(log), (std::vector<std::string>{
                              "Received start string...", "Sending command string 1...",
                              "Sending command string 2...", "Receiver \"freeze\"...",
                              NoImageLine}));
    EXPECT_EQ(log->LineColor(3), clTeal);
    EXPECT_EQ(log->LineColor(4), clTeal);
    EXPECT_EQ(form->ReceiverState, rsFrozen);
    EXPECT_TRUE(RunButtonsEnabled(true));
    EXPECT_EQ(line->TakeSent(), "");

    // Held in its loader already: a second acknowledgement is neither logged nor answered.
    ASSERT_TRUE(Receive(FreezeAck));
    EXPECT_EQ(log->LineCount(), 5);
    EXPECT_EQ(form->ReceiverState, rsFrozen);
    EXPECT_EQ(line->TakeSent(), "");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ReceiverDialogueTest, WithoutAlwaysFreezeEachMessageOnlyGetsTheHint) {
    const std::string hint =
        "You turned on receiver but the software don't freeze it. If you want to freeze it next "
        "time you turn on without selecting a file, select the option \"Always freeze\" from "
        "configuration...";
    form->CheckBox5->setChecked(false);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(Receive(StartString));
    EXPECT_EQ(Lines(form->RichEdit1), (std::vector<std::string>{"Received start string...", hint}));
    EXPECT_EQ(Colors(form->RichEdit1), (std::vector<TColor>{clTeal, clTeal}));

    ASSERT_TRUE(Receive(FreezeAck));
    EXPECT_EQ(form->RichEdit1->Line(2), "Receiver \"freeze\"...");
    EXPECT_EQ(LastLine(form->RichEdit1), hint);
    EXPECT_EQ(form->ReceiverState, rsIdle);
    EXPECT_TRUE(RunButtonsEnabled(false));
    EXPECT_EQ(line->TakeSent(), "");
}

TEST_F(ReceiverDialogueTest, ReceiverHeldInItsLoaderAtOpenIsAskedAboutOnce) {
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "Yes" : "No");
        if (form->Dec->Connected())
            form->ToolButton1Click(form->ToolButton1);
        dialogs.shown.clear();
        dialogs.answers = {answer};
        ASSERT_TRUE(OpenPort(MS_RLSD_ON));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Question..."));
        EXPECT_EQ(dialogs.shown[0].text,
                  QStringLiteral("Your receiver seems to be yet \"freeze\". Is it correct?"));
        EXPECT_EQ(dialogs.shown[0].icon, TMsgIcon::Question);
        EXPECT_EQ(form->ReceiverState, answer ? rsFrozen : rsIdle);
        EXPECT_TRUE(RunButtonsEnabled(answer));
    }
}

// Whatever takes the receiver out of its loader (switched off, switched on again, or starting
// over with its start string) leaves the run buttons disabled.
TEST_F(ReceiverDialogueTest, LeavingTheLoaderDisablesTheRunButtons) {
    const struct {
        const char* event;
        DWORD lines; // the receiver's lines after the event
        const char* line;
        TColor color;
    } cases[] = {
        {"switched off", 0, "Receiver turn off...", clBlue},
        {"switched on", MS_RLSD_ON | MS_DSR_ON, "Receiver turn on...", clBlue},
        {"start string", MS_RLSD_ON, "Sending command string 2...", clNavy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        if (form->Dec->Connected())
            form->ToolButton1Click(form->ToolButton1);
        ASSERT_TRUE(OpenFrozen());
        ASSERT_TRUE(RunButtonsEnabled(true));
        if (c.lines == MS_RLSD_ON) {
            ASSERT_TRUE(Receive(StartString));
        } else {
            line->SetLines(c.lines);
        }
        ASSERT_TRUE(PumpUntil([&] { return LastLine(form->RichEdit1) == c.line; }));
        EXPECT_EQ(form->RichEdit1->LineColor(form->RichEdit1->LineCount() - 1), c.color);
        EXPECT_EQ(form->ReceiverState, rsIdle);
        EXPECT_TRUE(RunButtonsEnabled(false));
    }
}

TEST_F(ReceiverDialogueTest, ChoosingAnotherPortClosesTheOpenOne) {
    ASSERT_EQ(form->DecPort->count(), 2);
    ASSERT_TRUE(OpenPort());

    form->DecPort->setCurrentIndex(1);
    emit form->DecPort->activated(1); // as the user's pick does
    EXPECT_FALSE(form->Dec->Connected());
    EXPECT_FALSE(line->IsOpen());
    EXPECT_EQ(form->Dec->Port(), otherPortName);
    for (TLogEdit* log : form->Logs()) {
        EXPECT_EQ(LastLine(log), "Correctly close port " + portName);
        EXPECT_EQ(log->LineColor(log->LineCount() - 1), clRed);
    }
    for (TToolButton* button : form->PortButtons()) {
        EXPECT_FALSE(button->Down());
        EXPECT_EQ(button->ImageIndex(), TImageList::imgPortClosed);
    }
    for (TToolButton* button : form->ChooseButtons())
        EXPECT_FALSE(button->isEnabled());
}

} // namespace
