// The main window as built: names, pages, tool bars, lamps, options and status bar, and the
// handlers that need no receiver: log choice, clearing a log, byte rendering, exit and About.

#include "app/AboutBox.h"
#include "app/Application.h"
#include "app/CSpinEdit.h"
#include "app/LogEdit.h"
#include "app/PageControl.h"
#include "app/PageLog.h"
#include "app/SDIAppForm.h"
#include "app/ScopeExit.h"
#include "app/ToolBar.h"
#include "app/ToolButton.h"
#include "tests/app/WindowHarness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class MainWindowTest : public testing::Test {
protected:
    void Show() {
        form.show();
        QCoreApplication::processEvents();
    }
    // Chooses an image of the usual size for a kind, as the file choice takes it.
    void Choose(int kind) {
        static const qint64 sizes[] = {524288, 1024000, 4096};
        const QString path = harness.folder.filePath(QStringLiteral("image%1.bin").arg(kind));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(sizes[kind]));
        ASSERT_TRUE(form.Dialogue().ChooseImage(kind, path.toStdString()));
    }

    TWindowHarness harness;
    TFakeDialogs& dialogs = harness.dialogs;
    std::unique_ptr<TSDIAppForm> built = harness.Build();
    TSDIAppForm& form = *built;
};

} // namespace

TEST_F(MainWindowTest, StartsWithItsNamedControlsDefaultOptionsAndIdleState) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vell Writer 1.0.1"));
    for (const char* name :
         {"PageControl1", "RichEdit1", "RichEdit2", "RichEdit3", "ToolButton1", "ToolButton16",
          "Panel1", "DecPort", "CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5",
          "Spin1", "Timer1", "Timer2", "StatusBar"})
        EXPECT_NE(form.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;

    const bool ticked[] = {false, false, true, false, true};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "CheckBox" + std::to_string(i + 1);
        EXPECT_EQ(Child<QCheckBox>(form, name.c_str())->isChecked(), ticked[i]) << name;
    }
    EXPECT_EQ(Child<TCSpinEdit>(form, "Spin1")->Value(), 500);
    const QTimer* paste = Child<QTimer>(form, "Timer1");
    const QTimer* watchdog = Child<QTimer>(form, "Timer2");
    EXPECT_FALSE(paste->isActive());
    EXPECT_FALSE(watchdog->isActive());
    EXPECT_EQ(paste->interval(), 500);
    EXPECT_EQ(watchdog->interval(), 30000);
    const TReceiverDialogue& dialogue = form.Dialogue();
    EXPECT_EQ(dialogue.SelectedKind(), ikNone);
    EXPECT_EQ(dialogue.ReceiverState(), rsIdle);
    EXPECT_EQ(dialogue.ReceiveTable().size(), 3u);
    EXPECT_EQ(dialogue.CommandTable().size(), 7u);
    EXPECT_TRUE(QString::fromStdString(dialogue.AppDir()).endsWith(QDir::separator()));
    EXPECT_EQ(form.FileDialog().InitialDir.toStdString(), dialogue.AppDir());
}

TEST_F(MainWindowTest, WorkPagesHoldTheirLogAndToolBar) {
    const char* const captions[] = {"Flash", "Firmware", "Eeprom", "Configuration"};
    const TPageControl* pages = Child<TPageControl>(form, "PageControl1");
    ASSERT_EQ(pages->count(), 4);
    for (int page = 0; page < 4; ++page)
        EXPECT_EQ(pages->tabText(page), QString::fromLatin1(captions[page]));
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(FindPageLog(Child<QWidget>(form, "TabSheet4")), nullptr);

    const TColor backgrounds[] = {0xCC99FF, 0x99FFFF, 0xCCFFCC};
    const int images[] = {4, 0, 6, 2, 5, 1}; // port, choose, clear, program, erase, exit
    const bool enabled[] = {true, false, true, false, false, true};
    // Each tool bar's items by name, in their order; the roles' accessors agree with the names.
    const struct {
        const char* bar;
        std::vector<const char*> items;
    } bars[] = {
        {"ToolBar1",
         {"ToolButton1", "ToolButton3", "ToolButton20", "ToolButton16", "ToolButton19",
          "ToolButton4", "Panel1"}},
        {"ToolBar2",
         {"ToolButton5", "ToolButton7", "ToolButton23", "ToolButton17", "ToolButton24",
          "ToolButton8", "Panel2"}},
        {"ToolBar3",
         {"ToolButton9", "ToolButton11", "ToolButton27", "ToolButton18", "ToolButton28",
          "ToolButton12", "Panel3"}},
    };
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(captions[page]);
        QWidget* sheet = pages->widget(page);
        auto* box = sheet->findChild<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QStringLiteral("Log window"));
        EXPECT_EQ(FindPageLog(sheet), form.Logs()[size_t(page)]);
        EXPECT_EQ(form.Logs()[size_t(page)]->Background(), backgrounds[page]);

        const TToolBar* bar = Child<TToolBar>(form, bars[page].bar);
        std::vector<QWidget*> items, named;
        for (QAction* action : bar->actions())
            if (!action->isSeparator())
                items.push_back(bar->widgetForAction(action));
        for (const char* name : bars[page].items)
            named.push_back(Child<QWidget>(form, name));
        EXPECT_EQ(items, named);
        const size_t at = size_t(page);
        EXPECT_EQ(std::vector<QWidget*>({form.PortButtons()[at], form.ChooseButtons()[at],
                                         form.RunButtons()[at], form.RunButtons()[at + 3]}),
                  std::vector<QWidget*>({named[0], named[1], named[3], named[4]}));
        for (int role = 0; role < 6; ++role) {
            auto* button = static_cast<TToolButton*>(named[size_t(role)]);
            EXPECT_EQ(button->ImageIndex(), images[role]) << role;
            EXPECT_EQ(button->isEnabled(), enabled[role]) << role;
            EXPECT_EQ(button->isCheckable(), role == 0) << role;
            EXPECT_FALSE(button->Down()) << role;
        }
        EXPECT_EQ(named[6]->size(), QSize(189, 38));
    }
}

// Only the Flash page's lamps hide, while "Show COM status" is unticked. Each page's lamps are
// looked at with that page shown: a tool bar lays out (and shows) its items only then.
TEST_F(MainWindowTest, ShownWindowHasItsSizeStatusBarAndLamps) {
    Show();
    EXPECT_EQ(form.frameGeometry().size(), QSize(520, 416));
    const auto panels = Child<QStatusBar>(form, "StatusBar")
                            ->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[0]->text(), QStringLiteral("Model: Unknown"));
    EXPECT_EQ(panels[0]->width(), 150);
    EXPECT_EQ(panels[1]->text(), QStringLiteral("Operation:"));
    EXPECT_EQ(panels[1]->width(), 250);
    form.ShowWaiting(QStringLiteral("WinExec"));
    EXPECT_EQ(panels[1]->text(), QStringLiteral("Operation: waiting for Wine (WinExec)"));
    form.ShowWaiting({});
    EXPECT_EQ(panels[1]->text(), QStringLiteral("Operation:"));

    const std::array panelsOfPages{Child<QFrame>(form, "Panel1"), Child<QFrame>(form, "Panel2"),
                                   Child<QFrame>(form, "Panel3")};
    for (const bool ticked : {false, true, false}) {
        Child<QCheckBox>(form, "CheckBox2")->setChecked(ticked);
        const bool shown[] = {ticked, true, true};
        for (int page = 0; page < 3; ++page) {
            Child<TPageControl>(form, "PageControl1")->setCurrentIndex(page);
            QCoreApplication::processEvents();
            QFrame* panel = panelsOfPages[size_t(page)];
            EXPECT_EQ(panel->isVisible(), shown[page]) << "ticked " << ticked << " page " << page;
        }
    }
}

TEST_F(MainWindowTest, LinesGoToTheChosenImagesPageElseTheActivePage) {
    const struct {
        int kind, page;
        size_t kindLog, activeLog; // the logs by page
    } cases[] = {
        // Nothing chosen yet, then a choice of each kind. An erase's lines go to the active
        // page's log as with nothing chosen (the dialogue's own tests show it).
        {ikNone, 1, 1, 1},  {ikNone, 2, 2, 2},     {ikNone, 3, 0, 0},
        {ikFlash, 2, 0, 2}, {ikFirmware, 0, 1, 0}, {ikEeprom, 3, 2, 0},
    };
    const std::array logs{Child<TLogEdit>(form, "RichEdit1"), Child<TLogEdit>(form, "RichEdit2"),
                          Child<TLogEdit>(form, "RichEdit3")};
    EXPECT_EQ(form.Logs(), logs);
    for (const auto& c : cases) {
        if (c.kind != ikNone)
            Choose(c.kind);
        ASSERT_EQ(form.Dialogue().SelectedKind(), c.kind);
        Child<TPageControl>(form, "PageControl1")->setCurrentIndex(c.page);
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " page " << c.page);
        EXPECT_EQ(form.Dialogue().KindLog(), logs[c.kindLog]);
        EXPECT_EQ(form.Dialogue().ActivePageLog(), logs[c.activeLog]);
        EXPECT_EQ(form.ActivePageLog(), logs[c.activeLog]);
    }
}

TEST_F(MainWindowTest, ClearLogClearsOnlyTheActivePagesLog) {
    Child<TPageControl>(form, "PageControl1")->setCurrentIndex(1);
    for (TLogEdit* log : form.Logs())
        log->Append("line\nline");
    TToolButton* clear = Child<TToolButton>(form, "ToolButton23");
    form.ToolButton20Click(clear);
    form.Logs()[1]->Append("again");
    clear->click(); // through the connection
    for (TLogEdit* log : form.Logs())
        EXPECT_EQ(log->LineCount(), log == form.Logs()[1] ? 0 : 2)
            << log->objectName().toStdString();
}

// "Save log as..." ends each log's menu and writes the whole log, as shown, in UTF-8 with a
// line feed after each line; what is at the name must be a regular file of the user, else it
// is refused in the failure box and left as it was (nothing is left beside it either).
TEST_F(MainWindowTest, SaveLogAsWritesTheWholeLogOrRefusesTheTarget) {
    TDialogs* earlier = TApplication::Instance()->Dialogs();
    TApplication::Instance()->SetDialogs(&dialogs);
    const TScopeExit restore([earlier] { TApplication::Instance()->SetDialogs(earlier); });
    TLogEdit* log = form.Logs()[1];
    log->Append("Received start string...\n\nAT\xB0\xC0");
    QCoreApplication::processEvents();
    log->Append("pending"); // not yet in the document
    const QByteArray shown = "Received start string...\n\nAT\xC2\xB0\xC3\x80\npending\n";
    const std::unique_ptr<QMenu> menu(log->CreateContextMenu(QPoint()));
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions.end()[-2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QStringLiteral("Save log as..."));

    const QString folder = harness.folder.filePath(QStringLiteral("saved"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/log.txt");
    const QByteArray name = QFile::encodeName(path), old = "old log\n";
    auto own = [&](mode_t mode) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        file.close();
        ASSERT_EQ(::chmod(name.constData(), mode), 0);
    };
    const bool root = ::geteuid() == 0;
    auto Entries = [&folder] {
        return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                      QDir::NoDotAndDotDot);
    };
    const struct {
        const char* what;
        std::function<void()> make;
        const char* why; // nullptr: saved
        mode_t mode;     // of the file there before
    } cases[] = {
        {"a new file", [] {}, nullptr, 0},
        {"the user's file, its mode kept", [&] { own(0600); }, nullptr, 0600},
        {"a link to a file not there yet",
         [&] { ASSERT_EQ(::symlink("elsewhere.txt", name.constData()), 0); }, "it is a link", 0},
        {"a folder", [&] { ASSERT_EQ(::mkdir(name.constData(), 0700), 0); },
         "it is not a regular file", 0},
        {"a pipe nobody reads", [&] { ASSERT_EQ(::mkfifo(name.constData(), 0600), 0); },
         "it is not a regular file", 0},
        {"a file of another user",
         [&] {
             own(0666);
             ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
         },
         "it belongs to another user", 0666},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkdir(folder));
        if (c.mode == 0666 && !root)
            continue; // only root can give a file away; CI runs as root
        c.make();
        struct stat before {};
        const bool existed = ::lstat(name.constData(), &before) == 0;
        const QStringList entries = Entries();
        dialogs.shown.clear();
        dialogs.saveAnswer = path;
        actions.back()->trigger();
        EXPECT_EQ(Entries(), existed ? entries : QStringList{QStringLiteral("log.txt")});
        struct stat after {};
        ASSERT_EQ(::lstat(name.constData(), &after), 0);
        if (c.why == nullptr) {
            EXPECT_TRUE(dialogs.shown.empty());
            QFile saved(path);
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            EXPECT_EQ(saved.readAll(), shown);
            EXPECT_TRUE(!existed || (after.st_mode & 07777) == c.mode);
            continue;
        }
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(
            dialogs.shown[0].text,
            QStringLiteral("The log was not saved to %1: %2.").arg(path, QLatin1String(c.why)));
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        QFile kept(path);
        EXPECT_TRUE(!S_ISREG(after.st_mode) ||
                    (kept.open(QIODevice::ReadOnly) && kept.readAll() == old));
    }
}

TEST_F(MainWindowTest, BytesAreRenderedInFullOnlyWhenAsked) {
    EXPECT_EQ(form.Dialogue().RenderBytes("AT\r", 3), "AT ");
    Child<QCheckBox>(form, "CheckBox1")->setChecked(true);
    EXPECT_EQ(form.Dialogue().RenderBytes("AT\r", 3), "AT. (3 bytes: 41 54 0D )");
}

// Exit saves the options, asks the transfer program to close and closes the window, whose
// close asks the program again while it is still there: up to two requests, none once gone.
TEST_F(MainWindowTest, ExitButtonsSaveAndCloseTheTransferProgramAndTheWindow) {
    const struct {
        TToolButton* exit;
        bool running, staysOpen;
        size_t requests;
    } cases[] = {
        {Child<TToolButton>(form, "ToolButton4"), false, false, 0},
        {Child<TToolButton>(form, "ToolButton8"), true, false, 1},
        {Child<TToolButton>(form, "ToolButton12"), true, true, 2},
    };
    TFakeWindows& windows = harness.windows;
    // A run started on the closed port: the transfer program came up, the command could not be
    // written, and the program's window stays the dialogue's.
    Choose(ikFlash);
    EXPECT_ANY_THROW(form.Dialogue().ToolButton16Click(ikFlash));
    ASSERT_EQ(form.Dialogue().ExternalWindow(), windows.window);
    int delay = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exit->objectName().toStdString());
        Show();
        ASSERT_TRUE(form.isVisible());
        windows.calls.clear();
        windows.running = c.running;
        windows.staysOpen = c.staysOpen;
        Child<TCSpinEdit>(form, "Spin1")->SetValue(++delay);
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
        const QStringList captions = {box.windowTitle(),    box.ProductName->text(),
                                      box.Version->text(),  box.Copyright->text(),
                                      box.Comments->text(), box.OKButton->text()};
        EXPECT_EQ(captions,
                  QStringList({"About", "Product Name", "Version", "Copyright", "Comments", "OK"}));
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
