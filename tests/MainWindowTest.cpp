// The main window as built: names, pages, tool bars, lamps, options and status bar, and the
// handlers that need no receiver: log choice, clearing a log, byte rendering, exit and About.

#include "AboutBox.h"
#include "CSpinEdit.h"
#include "WindowHarness.h"
#include "LogEdit.h"
#include "PageControl.h"
#include "PageLog.h"
#include "SDIAppForm.h"
#include "ToolBar.h"
#include "ToolButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

class MainWindowTest : public testing::Test {
protected:
    void Show() {
        form.show();
        QCoreApplication::processEvents();
    }

    TWindowHarness harness;
    TFakeDialogs& dialogs = harness.dialogs;
    std::unique_ptr<TSDIAppForm> built = harness.Build();
    TSDIAppForm& form = *built;
};

} // namespace

TEST_F(MainWindowTest, StartsWithItsNamedControlsDefaultOptionsAndIdleState) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vell Writer 1.0.1"));
    for (const char* name : {"PageControl1", "RichEdit1", "RichEdit2", "RichEdit3", "ToolButton1",
                             "ToolButton16", "Panel1", "DecPort", "CheckBox1", "CheckBox2",
                             "CheckBox3", "CheckBox4", "CheckBox5", "Spin1", "Timer1", "Timer2",
                             "StatusBar"})
        EXPECT_NE(form.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;

    const bool ticked[] = {false, false, true, false, true};
    const QCheckBox* boxes[] = {form.CheckBox1, form.CheckBox2, form.CheckBox3, form.CheckBox4,
                                form.CheckBox5};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(boxes[i]->isChecked(), ticked[i]) << "CheckBox" << i + 1;
    EXPECT_EQ(form.Spin1->Value(), 500);
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(form.Timer2->isActive());
    EXPECT_EQ(form.Timer1->interval(), 500);
    EXPECT_EQ(form.Timer2->interval(), 30000);
    EXPECT_EQ(form.SelectedKind, ikNone);
    EXPECT_EQ(form.ReceiverState, rsIdle);
    EXPECT_EQ(form.ReceiveTable.size(), 3u);
    EXPECT_EQ(form.CommandTable.size(), 7u);
    EXPECT_TRUE(form.AppDir.endsWith(QDir::separator()));
    EXPECT_EQ(form.OpenDialog->InitialDir, form.AppDir);
}

TEST_F(MainWindowTest, WorkPagesHoldTheirLogAndToolBar) {
    const char* const captions[] = {"Flash", "Firmware", "Eeprom", "Configuration"};
    ASSERT_EQ(form.PageControl1->count(), 4);
    for (int page = 0; page < 4; ++page)
        EXPECT_EQ(form.PageControl1->tabText(page), QString::fromLatin1(captions[page]));
    EXPECT_EQ(form.PageControl1->currentIndex(), 0);
    EXPECT_EQ(FindPageLog(form.TabSheet4), nullptr);

    const TColor backgrounds[] = {0xCC99FF, 0x99FFFF, 0xCCFFCC};
    const int images[] = {4, 0, 6, 2, 5, 1}; // port, choose, clear, program, erase, exit
    const bool enabled[] = {true, false, true, false, false, true};
    const struct {
        TToolBar* bar;
        std::vector<QWidget*> items;
    } bars[] = {
        {form.ToolBar1, {form.ToolButton1, form.ToolButton3, form.ToolButton20, form.ToolButton16,
                         form.ToolButton19, form.ToolButton4, form.Panel1}},
        {form.ToolBar2, {form.ToolButton5, form.ToolButton7, form.ToolButton23, form.ToolButton17,
                         form.ToolButton24, form.ToolButton8, form.Panel2}},
        {form.ToolBar3, {form.ToolButton9, form.ToolButton11, form.ToolButton27, form.ToolButton18,
                         form.ToolButton28, form.ToolButton12, form.Panel3}},
    };
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(captions[page]);
        QWidget* sheet = form.PageControl1->widget(page);
        auto* box = sheet->findChild<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QStringLiteral("Log window"));
        EXPECT_EQ(FindPageLog(sheet), form.Logs()[size_t(page)]);
        EXPECT_EQ(form.Logs()[size_t(page)]->Background(), backgrounds[page]);

        std::vector<QWidget*> items;
        for (QAction* action : bars[page].bar->actions())
            if (!action->isSeparator())
                items.push_back(bars[page].bar->widgetForAction(action));
        EXPECT_EQ(items, bars[page].items);
        for (int role = 0; role < 6; ++role) {
            auto* button = static_cast<TToolButton*>(bars[page].items[size_t(role)]);
            EXPECT_EQ(button->ImageIndex(), images[role]) << role;
            EXPECT_EQ(button->isEnabled(), enabled[role]) << role;
            EXPECT_EQ(button->isCheckable(), role == 0) << role;
            EXPECT_FALSE(button->Down()) << role;
        }
        EXPECT_EQ(bars[page].items[6]->size(), QSize(189, 38));
    }
}

// Only the Flash page's lamps hide, while "Show COM status" is unticked. Each page's lamps are
// looked at with that page shown: a tool bar lays out (and shows) its items only then.
TEST_F(MainWindowTest, ShownWindowHasItsSizeStatusBarAndLamps) {
    Show();
    EXPECT_EQ(form.frameGeometry().size(), QSize(520, 416));
    const auto panels = form.StatusBar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[0]->text(), QStringLiteral("Model: Unknown"));
    EXPECT_EQ(panels[0]->width(), 150);
    EXPECT_EQ(panels[1]->text(), QStringLiteral("Operation:"));
    EXPECT_EQ(panels[1]->width(), 250);

    for (const bool ticked : {false, true, false}) {
        form.CheckBox2->setChecked(ticked);
        const bool shown[] = {ticked, true, true};
        for (int page = 0; page < 3; ++page) {
            form.PageControl1->setCurrentIndex(page);
            QCoreApplication::processEvents();
            QFrame* panel = std::array{form.Panel1, form.Panel2, form.Panel3}[size_t(page)];
            EXPECT_EQ(panel->isVisible(), shown[page]) << "ticked " << ticked << " page " << page;
        }
    }
}

TEST_F(MainWindowTest, LinesGoToTheChosenImagesPageElseTheActivePage) {
    const struct {
        int kind, page;
        TLogEdit *kindLog, *activeLog;
    } cases[] = {
        {ikFlash, 2, form.RichEdit1, form.RichEdit3},  {ikFirmware, 0, form.RichEdit2, form.RichEdit1},
        {ikEeprom, 3, form.RichEdit3, form.RichEdit1}, {ikNone, 1, form.RichEdit2, form.RichEdit2},
        {ikNone, 2, form.RichEdit3, form.RichEdit3},   {ikNone, 3, form.RichEdit1, form.RichEdit1},
        {ikErase, 1, form.RichEdit2, form.RichEdit2},
    };
    for (const auto& c : cases) {
        form.SelectedKind = c.kind;
        form.PageControl1->setCurrentIndex(c.page);
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " page " << c.page);
        EXPECT_EQ(form.KindLog(), c.kindLog);
        EXPECT_EQ(form.ActivePageLog(), c.activeLog);
    }
}

TEST_F(MainWindowTest, ClearLogClearsOnlyTheActivePagesLog) {
    form.PageControl1->setCurrentIndex(1);
    for (TLogEdit* log : form.Logs())
        log->Append("line\nline");
    form.ToolButton20Click(form.ToolButton23);
    form.RichEdit2->Append("again");
    form.ToolButton23->click(); // through the connection
    for (TLogEdit* log : form.Logs())
        EXPECT_EQ(log->LineCount(), log == form.RichEdit2 ? 0 : 2) << log->objectName().toStdString();
}

TEST_F(MainWindowTest, BytesAreRenderedInFullOnlyWhenAsked) {
    EXPECT_EQ(form.RenderBytes("AT\r", 3), "AT ");
    form.CheckBox1->setChecked(true);
    EXPECT_EQ(form.RenderBytes("AT\r", 3), "AT. (3 bytes: 41 54 0D )");
}

// Exit saves the options, asks the transfer program to close and closes the window, whose
// close asks the program again while it is still there: up to two requests, none once gone.
TEST_F(MainWindowTest, ExitButtonsSaveAndCloseTheTransferProgramAndTheWindow) {
    const struct {
        TToolButton* exit;
        bool running, staysOpen;
        size_t requests;
    } cases[] = {
        {form.ToolButton4, false, false, 0},
        {form.ToolButton8, true, false, 1},
        {form.ToolButton12, true, true, 2},
    };
    TFakeWindows& windows = harness.windows;
    form.ExternalWindow = windows.window;
    int delay = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exit->objectName().toStdString());
        Show();
        ASSERT_TRUE(form.isVisible());
        windows.calls.clear();
        windows.running = c.running;
        windows.staysOpen = c.staysOpen;
        form.Spin1->SetValue(++delay);
        c.exit->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(windows.calls, std::vector<std::string>(c.requests, "close 7"));
        TSettingsStore stored(harness.store.FileName());
        ASSERT_TRUE(stored.OpenKey(QStringLiteral("Software\\VellWriter"), false));
        EXPECT_EQ(stored.ReadInteger(QStringLiteral("Delay")), delay);
    }
}

TEST_F(MainWindowTest, AboutBoxRunsModallyWithTheSameCaptionsEachTime) {
    TAboutBox box;
    form.SetAboutBox(&box);
    for (int run = 1; run <= 2; ++run) {
        form.HelpAbout1Execute(nullptr);
        ASSERT_EQ(dialogs.modalCount, run);
        EXPECT_EQ(dialogs.lastModal, &box);
        const QStringList captions = {box.windowTitle(),   box.ProductName->text(),
                                      box.Version->text(), box.Copyright->text(),
                                      box.Comments->text(), box.OKButton->text()};
        EXPECT_EQ(captions, QStringList({"About", "Product Name", "Version", "Copyright",
                                         "Comments", "OK"}));
        EXPECT_TRUE(box.OKButton->isDefault());
    }
}

TEST(CSpinEditTest, TextThatIsNotAWholeNumberReadsAsZero) {
    const std::pair<const char*, int> cases[] = {{"abc", 0}, {"-", 0},     {"", 0},
                                                 {"12x", 0}, {"123", 123}, {"-7", -7}};
    TCSpinEdit spin;
    spin.SetValue(500);
    auto* edit = spin.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    for (const auto& [text, value] : cases) {
        edit->setText(QString::fromLatin1(text));
        EXPECT_EQ(spin.Value(), value) << '"' << text << '"';
    }
}
