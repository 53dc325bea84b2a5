// The receiver dialogue inside the real window on a fake line: the port's reports, the lamps,
// the buttons, the options and the page control reach the dialogue, and what it does shows on
// the real controls. What the dialogue decides is tested without a window (tests/receiver).

#include "app/CSpinEdit.h"
#include "app/ImageList.h"
#include "app/PageControl.h"
#include "app/ToolBar.h"
#include "controls/ComComboBox.h"
#include "tests/app/DialogueHarness.h"

#include <QCheckBox>
#include <QTimer>

using namespace Dialogue;

namespace {

std::string Framed(const std::string& body) {
    return "\x02" + body + "\x03";
} // STX ... ETX

class DialogueWiringTest : public TDialogueTest {
protected:
    template <class T> T* Find(const char* name) const {
        T* control = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    TToolButton* Button(const char* name) const { return Find<TToolButton>(name); }
    TToolBar* ToolBar(int page) const {
        return Find<TToolBar>(("ToolBar" + std::to_string(page + 1)).c_str());
    }
    bool RunButtonsEnabled(bool enabled) const {
        for (TToolButton* button : form->RunButtons())
            if (button->isEnabled() != enabled)
                return false;
        return true;
    }
    bool PageMayChange() const {
        bool allow = true;
        Find<TPageControl>("PageControl1")->OnChanging(nullptr, allow);
        return allow;
    }
    // Chooses an image of the usual size for the page's kind, on that page.
    void Choose(int page) {
        static const qint64 sizes[] = {524288, 1024000, 4096};
        Find<TPageControl>("PageControl1")->setCurrentIndex(page);
        dialogs.openAnswer =
            MakeImage(images, QStringLiteral("image%1.bin").arg(page), sizes[page]);
        form->ChooseButtons()[size_t(page)]->click();
    }

    QTemporaryDir images;
};

TEST_F(DialogueWiringTest, ReceiverAndRunReachTheDialogueThroughTheWindow) {
    ASSERT_TRUE(OpenPort());
    for (TLogEdit* log : form->Logs())
        EXPECT_EQ(Lines(log), std::vector<std::string>{"Correctly open port " + portName});
    TLogEdit* log = form->Logs()[0];
    line->SetLines(MS_DSR_ON | MS_RLSD_ON);
    ASSERT_TRUE(PumpUntil([&] { return LastLine(log) == "Receiver turn on..."; }));
    ASSERT_TRUE(Receive(StartString));
    EXPECT_EQ(line->WaitSent(16, 5000), "STX,EF81DD51,ETX");
    ASSERT_TRUE(Receive(FreezeAck));
    EXPECT_EQ(form->Dialogue().ReceiverState(), rsFrozen);
    EXPECT_TRUE(RunButtonsEnabled(true));

    Choose(0);
    dialogs.shown.clear();
    Button("ToolButton16")->click();
    EXPECT_EQ(dialogs.shown.size(), 1u) << "the confirmation";
    EXPECT_EQ(windows.calls.back(), "sleep 500");
    EXPECT_EQ(line->WaitSent(8, 5000), Framed("C042,5"));
    EXPECT_FALSE(ToolBar(0)->isEnabled());
    QTimer* paste = Find<QTimer>("Timer1");
    QTimer* watchdog = Find<QTimer>("Timer2");
    EXPECT_TRUE(paste->isActive());
    EXPECT_FALSE(watchdog->isActive());
    EXPECT_FALSE(PageMayChange());
    ASSERT_TRUE(Receive("Memory Alocation"));
    EXPECT_TRUE(watchdog->isActive());

    ASSERT_TRUE(Receive("C042"));
    EXPECT_EQ(LastLine(log), "Now your receiver can start a new download...");
    EXPECT_TRUE(ToolBar(0)->isEnabled());
    EXPECT_FALSE(paste->isActive());
    EXPECT_FALSE(watchdog->isActive());
    EXPECT_TRUE(RunButtonsEnabled(true));
    EXPECT_TRUE(PageMayChange());

    line->SetLines(0);
    ASSERT_TRUE(PumpUntil([&] { return LastLine(log) == "Receiver turn off..."; }));
    EXPECT_TRUE(RunButtonsEnabled(false));
}

// Each page's program and erase buttons run on that page, with the options of the
// Configuration page: no freeze (then freeze again), no confirmation, no pause, the full
// communication.
TEST_F(DialogueWiringTest, EachPageRunsWithTheOptionsOfTheConfigurationPage) {
    Find<QCheckBox>("CheckBox5")->setChecked(false);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(Receive(StartString));
    EXPECT_EQ(LastLine(form->Logs()[0]).rfind("You turned on receiver", 0), 0u);
    EXPECT_EQ(line->TakeSent(), "");

    Find<QCheckBox>("CheckBox5")->setChecked(true);
    Find<QCheckBox>("CheckBox3")->setChecked(false);
    Find<QCheckBox>("CheckBox1")->setChecked(true);
    Find<TCSpinEdit>("Spin1")->SetValue(0);
    Button("ToolButton1")->click(); // closes the port
    ASSERT_TRUE(OpenFrozen());
    const struct {
        const char *program, *erase;
        std::string command; // after the STX
        const char* sent;
    } pages[] = {
        {"ToolButton16", "ToolButton19", "C042,5", "Sending flash updating string..."},
        {"ToolButton17", "ToolButton24", "C246,2", "Sending firmware updating string..."},
        {"ToolButton18", "ToolButton28", "C043,5", "Sending eeprom updating string..."},
    };
    for (int page = 0; page < 3; ++page) {
        const auto& p = pages[page];
        SCOPED_TRACE(p.program);
        TLogEdit* log = form->Logs()[size_t(page)];
        Choose(page);
        dialogs.shown.clear();
        line->TakeSent();
        Button(p.program)->click();
        EXPECT_EQ(dialogs.shown.size(), page == 1 ? 1u : 0u) << "only the firmware warning";
        EXPECT_EQ(windows.calls.back(), "sleep 0");
        EXPECT_EQ(line->WaitSent(8, 5000), Framed(p.command));
        EXPECT_EQ(LastLine(log).rfind(std::string(p.sent) + "[", 0), 0u) << LastLine(log);
        EXPECT_FALSE(ToolBar(page)->isEnabled());
        ASSERT_TRUE(Receive("C042"));
        EXPECT_TRUE(ToolBar(page)->isEnabled());

        Button(p.erase)->click();
        EXPECT_EQ(line->WaitSent(8, 5000), Framed("C044,2"));
        EXPECT_EQ(LastLine(log).rfind("Sending cleanup string...[", 0), 0u) << LastLine(log);
        EXPECT_FALSE(ToolBar(page)->isEnabled());
        ASSERT_TRUE(Receive("C044"));
        EXPECT_EQ(LastLine(log), "Now your receiver can start a new download...");
        EXPECT_TRUE(ToolBar(page)->isEnabled());
    }
}

TEST_F(DialogueWiringTest, ChoosingAnotherPortClosesTheOpenOne) {
    TComComboBox& ports = form->PortList();
    ASSERT_EQ(ports.count(), 2);
    ASSERT_TRUE(OpenPort());

    ports.setCurrentIndex(1);
    emit ports.activated(1); // as the user's pick does
    EXPECT_FALSE(form->Port().Connected());
    EXPECT_FALSE(line->IsOpen());
    EXPECT_EQ(form->Port().Port(), otherPortName);
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
