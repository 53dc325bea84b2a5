// The receiver's start-up as the dialogue follows it: the lamps, the start string and its
// answers, the freeze, and the question at open.

#include "DialogueTest.h"

using namespace Dialogue;

namespace {

const char* const NoImageLine =
    "Now your receiver is freeze. Select a file to download and when ready push the program "
    "button...";

using ReceiverDialogueTest = TRecordedDialogueTest;

TEST_F(ReceiverDialogueTest, AlwaysFreezeTakesTheReceiverFromTurnOnToFrozen) {
    ASSERT_TRUE(Open());
    SetLines(true, false);
    EXPECT_EQ(Log(0).Last(), (TLine{"Receiver turn on...", clBlue}));
    EXPECT_EQ(dialogue->ReceiverState, rsIdle);

    Receive(StartString);
    TLines lines{{"Received start string...", clTeal},
                 {"Sending command string 1...", clNavy},
                 {"Sending command string 2...", clNavy}};
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(window.written, "STX,EF81DD51,ETX");

    window.written.clear();
    Receive(FreezeAck);
    lines.insert(lines.end(), {{"Receiver \"freeze\"...", clTeal}, {NoImageLine, clTeal}});
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(dialogue->ReceiverState, rsFrozen);
    EXPECT_TRUE(window.runButtonsEnabled);
    EXPECT_EQ(window.written, "");

    // Held in its loader already: a second acknowledgement is neither logged nor answered.
    Receive(FreezeAck);
    EXPECT_EQ(Log(0).lines, lines);
    EXPECT_EQ(dialogue->ReceiverState, rsFrozen);
    EXPECT_EQ(window.written, "");
    EXPECT_TRUE(window.asked.empty());
}

TEST_F(ReceiverDialogueTest, WithoutAlwaysFreezeEachMessageOnlyGetsTheHint) {
    const std::string hint =
        "You turned on receiver but the software don't freeze it. If you want to freeze it next "
        "time you turn on without selecting a file, select the option \"Always freeze\" from "
        "configuration...";
    window.alwaysFreeze = false;
    ASSERT_TRUE(Open());
    Receive(StartString);
    EXPECT_EQ(Log(0).lines, (TLines{{"Received start string...", clTeal}, {hint, clTeal}}));

    Receive(FreezeAck);
    EXPECT_EQ(Log(0).Line(2), "Receiver \"freeze\"...");
    EXPECT_EQ(Log(0).LastLine(), hint);
    EXPECT_EQ(dialogue->ReceiverState, rsIdle);
    EXPECT_FALSE(window.runButtonsEnabled);
    EXPECT_EQ(window.written, "");
}

// Only RLSD on with DSR off tells that the receiver sits in its loader; a receiver with DSR on
// is running (or starting), and asking then would freeze a receiver that is not frozen.
TEST_F(ReceiverDialogueTest, OnlyRlsdWithoutDsrAtOpenAsksAboutTheFreeze) {
    const struct {
        bool dsr, rlsd, asks;
    } cases[] = {
        {false, false, false}, {true, false, false}, {true, true, false}, {false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DSR " << c.dsr << ", RLSD " << c.rlsd);
        window.asked.clear();
        window.answers = {true};
        ASSERT_TRUE(Open(c.dsr, c.rlsd));
        EXPECT_EQ(window.asked.size(), c.asks ? 1u : 0u);
        EXPECT_EQ(dialogue->ReceiverState, c.asks ? rsFrozen : rsIdle);
    }
}

TEST_F(ReceiverDialogueTest, ReceiverHeldInItsLoaderAtOpenIsAskedAboutOnce) {
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer ? "Yes" : "No");
        window.asked.clear();
        window.answers = {answer};
        ASSERT_TRUE(Open(false, true));
        ASSERT_EQ(window.asked.size(), 1u);
        EXPECT_EQ(window.asked[0].caption, QStringLiteral("Question..."));
        EXPECT_EQ(window.asked[0].text,
                  QStringLiteral("Your receiver seems to be yet \"freeze\". Is it correct?"));
        EXPECT_EQ(window.asked[0].icon, TMsgIcon::Question);
        EXPECT_EQ(dialogue->ReceiverState, answer ? rsFrozen : rsIdle);
        EXPECT_EQ(window.runButtonsEnabled, answer);
    }
}

// Whatever takes the receiver out of its loader (switched off, switched on again, or starting
// over with its start string) leaves the run buttons disabled.
TEST_F(ReceiverDialogueTest, LeavingTheLoaderDisablesTheRunButtons) {
    const struct {
        const char* event;
        bool dsr, rlsd; // the receiver's lines after the event
        TLine line;
    } cases[] = {
        {"switched off", false, false, {"Receiver turn off...", clBlue}},
        {"switched on", true, true, {"Receiver turn on...", clBlue}},
        {"start string", false, true, {"Sending command string 2...", clNavy}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        ASSERT_TRUE(OpenFrozen());
        ASSERT_TRUE(window.runButtonsEnabled);
        if (c.rlsd && !c.dsr)
            Receive(StartString);
        else
            SetLines(c.dsr, c.rlsd);
        EXPECT_EQ(Log(0).Last(), c.line);
        EXPECT_EQ(dialogue->ReceiverState, rsIdle);
        EXPECT_FALSE(window.runButtonsEnabled);
    }
}

} // namespace
