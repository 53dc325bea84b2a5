// The Configuration page's options kept in the settings file: the defaults of a first start,
// stored values that do not fit, opening the port at start-up, saving on close, and the
// failures of reading and writing the file.

#include "app/Application.h"
#include "app/CSpinEdit.h"
#include "app/ImageList.h"
#include "controls/ComComboBox.h"
#include "tests/app/DialogueHarness.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Dialogue;

namespace {

const QString Key = QStringLiteral("Software\\VellWriter");

class SettingsTest : public TDialogueTest {
protected:
    // The window is built by each test, once the file holds what the test wants.
    void SetUp() override {
        InstallUiHandOver();
        earlierDialogs = TApplication::Instance()->Dialogs();
        TApplication::Instance()->SetDialogs(&dialogs); // failure reports are recorded boxes
    }
    void TearDown() override {
        form.reset();
        TApplication::Instance()->SetDialogs(earlierDialogs);
    }
    void Store(std::initializer_list<std::pair<const char*, QVariant>> values) {
        QSettings file(harness.store.FileName(), QSettings::IniFormat);
        for (const auto& [name, value] : values)
            file.setValue(QStringLiteral("Software/VellWriter/") + QLatin1String(name), value);
        file.sync();
        ASSERT_EQ(file.status(), QSettings::NoError);
    }
    // Each value as a fresh store reads it back from the file.
    std::vector<int32_t> Stored(const std::vector<const char*>& names) {
        TSettingsStore store(harness.store.FileName());
        EXPECT_TRUE(store.OpenKey(Key, false));
        std::vector<int32_t> values;
        for (const char* name : names)
            values.push_back(store.ReadInteger(QLatin1String(name)));
        store.CloseKey();
        return values;
    }
    QVariant StoredName() const {
        return QSettings(harness.store.FileName(), QSettings::IniFormat)
            .value(QStringLiteral("Software/VellWriter/ComPortName"));
    }
    // The five option boxes, "Show full comunication" to "Always freeze".
    std::vector<QCheckBox*> Boxes() const {
        std::vector<QCheckBox*> boxes;
        for (const char* name : {"CheckBox1", "CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5"})
            boxes.push_back(Child<QCheckBox>(*form, name));
        return boxes;
    }
    TCSpinEdit* Delay() const { return Child<TCSpinEdit>(*form, "Spin1"); }
    std::vector<bool> Ticked() const {
        std::vector<bool> ticked;
        for (QCheckBox* box : Boxes())
            ticked.push_back(box->isChecked());
        return ticked;
    }

    QByteArray FileBytes() const {
        QFile file(harness.store.FileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    void WriteFile(const QByteArray& bytes) {
        QFile file(harness.store.FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    const std::vector<const char*> names = {"ComPort", "FullCom", "ComStatus", "ConfLoad",
                                            "Freeze",  "Startup", "Delay"};
    TDialogs* earlierDialogs = nullptr;
};

TEST_F(SettingsTest, FirstStartWritesTheDefaultsAndShowsTheBuiltOptions) {
    ASSERT_FALSE(QFile::exists(harness.store.FileName()));
    form = harness.Build();
    EXPECT_EQ(Stored(names), (std::vector<int32_t>{0, 0, 0, 1, 1, 0, 500}));
    EXPECT_EQ(form->PortList().currentIndex(), 0);
    EXPECT_EQ(form->Port().Port(), portName);
    EXPECT_EQ(Ticked(), (std::vector<bool>{false, false, true, false, true}));
    EXPECT_EQ(Delay()->Value(), 500);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsTest, StoredPortIndexSelectsItsEntryOrNone) {
    const struct {
        int stored, selected;
        std::string port;
    } cases[] = {{1, 1, otherPortName}, {-1, -1, ""}, {2, -1, ""}, {100, -1, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Store({{"ComPort", c.stored}});
        form = harness.Build();
        EXPECT_EQ(form->PortList().currentIndex(), c.selected);
        EXPECT_EQ(form->Port().Port(), c.port);
        form.reset();
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

// A receiver already held in its loader is asked about while the window is built, so the
// question comes before the window is first shown.
TEST_F(SettingsTest, StoredStartupOpensThePortWhileTheWindowIsBuilt) {
    Store({{"Startup", 1}, {"FullCom", 1}, {"ConfLoad", 0}, {"Delay", 250}});
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "held in its loader" : "switched off");
        line->SetLines(held ? MS_RLSD_ON : 0);
        dialogs.shown.clear();
        form = harness.Build();
        EXPECT_FALSE(form->isVisible());
        ASSERT_EQ(dialogs.shown.size(), held ? 1u : 0u);
        EXPECT_TRUE(!held || dialogs.shown[0].text ==
                                 QStringLiteral("Your receiver seems to be yet \"freeze\". Is it "
                                                "correct?"));
        EXPECT_EQ(form->Dialogue().ReceiverState(), held ? rsFrozen : rsIdle);
        for (TToolButton* button : form->RunButtons())
            EXPECT_EQ(button->isEnabled(), held);

        EXPECT_EQ(Ticked(), (std::vector<bool>{true, false, false, true, true}));
        EXPECT_EQ(Delay()->Value(), 250);
        ASSERT_TRUE(form->Port().Connected());
        EXPECT_TRUE(line->IsOpen());
        for (TToolButton* button : form->PortButtons()) {
            EXPECT_TRUE(button->Down());
            EXPECT_EQ(button->ImageIndex(), TImageList::imgPortOpen);
        }
        for (TToolButton* button : form->ChooseButtons())
            EXPECT_TRUE(button->isEnabled());
        for (TLogEdit* log : form->Logs())
            EXPECT_EQ(Lines(log), std::vector<std::string>{"Correctly open port " + portName});
        form.reset();
    }
}

// The port is kept by its name as well as its position: at start-up only the port of that name
// is selected and opened, wherever the list now puts it. When it is gone, nothing takes its
// place: the port stays closed, the log says so, and the name is kept for the next start.
// A virtual ports folder that others may write is not used, and the start-up log says why.
TEST_F(SettingsTest, UntrustedPortsFolderIsToldAtStartUp) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const bool wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString folder = runtime.path() + QStringLiteral("/vell-writer");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0777), 0);
    form = harness.Build();
    const auto lines = Lines(form->Logs()[0]);
    form.reset();
    if (wasSet)
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Virtual ports are not used: " + folder.toStdString(), 0), 0u)
        << lines.back();
}

TEST_F(SettingsTest, StoredPortNameSelectsAndOpensOnlyThatPort) {
    const QString here = QString::fromStdString(portName);
    const QString gone = QStringLiteral("FAKEGONE");
    const std::string goneLine =
        "Port FAKEGONE not found: the port stays closed. Choose a port on the Configuration "
        "page...";
    const struct {
        const char* name;
        int index;
        QVariant stored; // none: a file from before names were kept
        int selected;
        std::vector<std::string> log;
        int savedIndex;
        QString savedName;
    } cases[] = {
        {"moved", 1, here, 0, {"Correctly open port " + portName}, 0, here},
        {"gone", 0, gone, -1, {goneLine}, -1, gone},
        {"no name kept", 0, QVariant(), 0, {"Correctly open port " + portName}, 0, here},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(harness.store.FileName());
        Store({{"ComPort", c.index}, {"Startup", 1}});
        if (c.stored.isValid())
            Store({{"ComPortName", c.stored}});
        form = harness.Build();
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(form->PortList().currentIndex(), c.selected);
        EXPECT_EQ(form->Port().Connected(), c.selected >= 0);
        EXPECT_EQ(line->IsOpen(), c.selected >= 0);
        EXPECT_EQ(Lines(form->Logs()[0]), c.log);
        form->show();
        EXPECT_TRUE(form->close());
        EXPECT_EQ(Stored({"ComPort"}), std::vector<int32_t>{c.savedIndex});
        EXPECT_EQ(StoredName(), c.savedName);
        form.reset();
    }
}

// What the store makes nothing of costs only itself: a comment, an odd line a person added, a
// port name that is no text (read after the seven values). Every option stored beside them is
// shown, and the port at the stored position opens at start-up.
TEST_F(SettingsTest, StrayLinesAndNamesCostOnlyThemselves) {
    const auto otherLine = TFakeLine::Publish(otherPortName);
    const QByteArray values = "VellWriter\\ComPort=1\nVellWriter\\FullCom=1\n"
                              "VellWriter\\ComStatus=1\nVellWriter\\ConfLoad=0\n"
                              "VellWriter\\Freeze=0\nVellWriter\\Startup=1\n"
                              "VellWriter\\Delay=250\n";
    const QByteArray name = QByteArray::fromStdString(portName); // at position 0
    const struct {
        const char* what;
        QByteArray file;
    } cases[] = {
        {"comments and odd lines",
         "# kept by hand\n[Software]\n# the options\n" + values + "an odd line\n; end\n"},
        {"a name that is a list",
         "[Software]\nVellWriter\\ComPortName=" + name + ", FAKEGONE\n" + values},
        {"a name that is bytes",
         "[Software]\nVellWriter\\ComPortName=@ByteArray(" + name + ")\n" + values},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(c.file);
        dialogs.shown.clear();
        form = harness.Build();
        EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown[0].text.toStdString();
        EXPECT_EQ(form->PortList().currentIndex(), 1);
        EXPECT_TRUE(form->Port().Connected());
        EXPECT_EQ(form->Port().Port(), otherPortName);
        EXPECT_EQ(Ticked(), (std::vector<bool>{true, true, false, true, false}));
        EXPECT_EQ(Delay()->Value(), 250);
        form.reset();
    }
}

TEST_F(SettingsTest, ValueThatIsNotANumberStopsTheLoadingThere) {
    Store({{"FullCom", 1}, {"Freeze", 0}, {"Delay", QStringLiteral("fast")}});
    form = harness.Build();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Invalid data type for 'Delay'"));
    EXPECT_EQ(dialogs.shown[0].icon, TMsgIcon::Error);
    EXPECT_FALSE(dialogs.shown[0].yesNo);
    // "Always freeze" was applied before the failure; the delay and "Show full comunication",
    // applied after it, were not.
    EXPECT_FALSE(Boxes()[4]->isChecked());
    EXPECT_FALSE(Boxes()[0]->isChecked());
    EXPECT_EQ(Delay()->Value(), 500);
}

TEST_F(SettingsTest, ClosingTheWindowStoresWhatTheControlsShow) {
    const struct {
        int port;
        bool ticked[5];
        const char* delay;
        std::vector<int32_t> stored; // in the order of `names`
    } cases[] = {
        {1, {true, true, false, true, false}, "12x", {1, 1, 1, 0, 0, 1, 0}},
        {0, {false, false, true, false, true}, "750", {0, 0, 0, 1, 1, 0, 750}},
    };
    form = harness.Build();
    const std::vector<QCheckBox*> boxes = Boxes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delay);
        form->show();
        form->PortList().setCurrentIndex(c.port);
        for (int i = 0; i < 5; ++i)
            boxes[i]->setChecked(c.ticked[i]);
        Delay()->findChild<QLineEdit*>()->setText(QLatin1String(c.delay));
        EXPECT_TRUE(form->close());
        EXPECT_EQ(Stored(names), c.stored);
        EXPECT_EQ(StoredName(), QString::fromStdString(c.port ? otherPortName : portName));
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsTest, FailingSaveIsReportedAndTheWindowStaysOpenOnce) {
    // The settings file's folder is a plain file: nothing can be written under it.
    const QString blocker = harness.folder.filePath(QStringLiteral("file"));
    QFile(blocker).open(QIODevice::WriteOnly);
    TSettingsStore store(blocker + QStringLiteral("/VellWriter.conf"));
    TServices services{dialogs, store, windows, harness.services.ListPorts};
    const auto window = std::make_unique<TSDIAppForm>(services);
    ASSERT_EQ(dialogs.shown.size(), 1u) << "the first default cannot be written back";
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Failed to set data for 'ComPort'"));

    window->show();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Failed to set data for 'ComPort'"));
    EXPECT_EQ(dialogs.shown[1].icon, TMsgIcon::Error);

    // Told once, the user may still leave: a second close goes through, told again.
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[2].text, QStringLiteral("Failed to set data for 'ComPort'"));
}

// A huge stored delay must not block the window for days, and one beyond 32 bits is refused.
TEST_F(SettingsTest, StoredDelayOutOfRangeNeverBlocksForLong) {
    const struct {
        const char* stored;
        const char* failure; // the box at start, if any
        const char* pause;   // what a run then waits before its command
    } cases[] = {
        {"2147483647", nullptr, "sleep 60000"},
        {"4294967295", nullptr, "sleep 0"}, // the 32 bits of -1
        {"-2147483648", nullptr, "sleep 0"},
        {"4294967296", "Invalid data type for 'Delay'", nullptr},
    };
    QTemporaryDir images;
    const QString image = MakeImage(images, QStringLiteral("flash.bin"), 524288);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Store({{"Delay", QString::fromLatin1(c.stored)}});
        dialogs.shown.clear();
        windows.calls.clear();
        form = harness.Build();
        if (c.failure) {
            // The loading stopped there: the built delay stays, and no port was chosen yet.
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].text, QString::fromLatin1(c.failure));
            EXPECT_EQ(Delay()->Value(), 500);
            continue;
        }
        EXPECT_TRUE(dialogs.shown.empty());
        ASSERT_TRUE(OpenFrozen());
        dialogs.openAnswer = image;
        form->FileOpen1Execute(form->ChooseButtons()[0]);
        form->RunButtons()[0]->click();
        ASSERT_GE(windows.calls.size(), 3u);
        EXPECT_EQ(windows.calls[2], c.pause);
        form.reset();
        line->TakeSent();
    }
}

// A file the store cannot make sense of is not the program's to overwrite: the window starts
// with its built options, and neither the defaults nor a save replace the file. Once the file
// is gone (the user removed it), closing stores the options as usual.
TEST_F(SettingsTest, FileThatCannotBeParsedIsNeverWrittenOver) {
    QByteArray junk(600, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    WriteFile(junk);
    form = harness.Build();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Failed to get data for 'ComPort'"));
    EXPECT_EQ(Ticked(), (std::vector<bool>{false, false, true, false, true}));
    EXPECT_EQ(Delay()->Value(), 500);
    EXPECT_EQ(FileBytes(), junk);

    form->show();
    EXPECT_FALSE(form->close());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Failed to set data for 'ComPort'"));
    EXPECT_EQ(FileBytes(), junk);

    ASSERT_TRUE(QFile::remove(harness.store.FileName()));
    Delay()->SetValue(321);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(Stored({"Delay"}), std::vector<int32_t>{321});
}

// Something in the file's place that no settings file is: a device, a pipe nobody writes, a
// folder, a file far larger than any real one. Read whole, /dev/zero ended in bad_alloc and a
// pipe blocked the start. Each is refused as a file that cannot be read, and stays as it was.
TEST_F(SettingsTest, FileThatIsNotARegularFileOfSettingsSizeIsRefused) {
    const std::string file = harness.store.FileName().toStdString();
    const QByteArray valid = "[Software]\nVellWriter\\Delay=250\n";
    auto padded = [&valid](qsizetype size) {
        return valid + QByteArray(size - valid.size() - 1, ';') + '\n';
    };
    const struct {
        const char* name;
        std::function<void()> make;
        bool refused;
    } cases[] = {
        {"link to /dev/zero", [&] { ASSERT_EQ(::symlink("/dev/zero", file.c_str()), 0); }, true},
        {"pipe", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, true},
        {"folder", [&] { ASSERT_EQ(::mkdir(file.c_str(), 0700), 0); }, true},
        {"link to nothing", [&] { ASSERT_EQ(::symlink("gone.conf", file.c_str()), 0); }, true},
        {"64 KiB and a byte", [&] { WriteFile(padded(65537)); }, true},
        {"64 KiB", [&] { WriteFile(padded(65536)); }, false},
        {"a NUL byte", [&] { WriteFile(valid + QByteArray(1, '\0') + "\n"); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(file.c_str(), &before), 0);
        const QByteArray bytes = S_ISREG(before.st_mode) ? FileBytes() : QByteArray();
        dialogs.shown.clear();
        form = harness.Build();
        form->show();
        if (c.refused) {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Failed to get data for 'ComPort'"));
            EXPECT_EQ(Delay()->Value(), 500);
            EXPECT_FALSE(form->close());
            ASSERT_EQ(dialogs.shown.size(), 2u);
            EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("Failed to set data for 'ComPort'"));
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
            EXPECT_EQ(Delay()->Value(), 250);
        }
        form.reset();
        struct stat after {};
        ASSERT_EQ(::lstat(file.c_str(), &after), 0);
        if (c.refused) {
            EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
            EXPECT_EQ(after.st_mode, before.st_mode);
            if (S_ISREG(before.st_mode)) {
                EXPECT_EQ(FileBytes(), bytes);
            }
        }
        if (S_ISDIR(after.st_mode))
            ::rmdir(file.c_str());
        else
            ::unlink(file.c_str());
    }
}

// Permissions that keep the program from reading or from writing its file: it starts with what
// it could read, reports, and leaves the file as it was. Root reads and writes whatever the
// mode bits say, so there these cases cannot be made.
TEST_F(SettingsTest, FileThatCannotBeReadOrWrittenIsKept) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: mode bits do not keep root from reading or writing";
    Store({{"ComPort", 1},
           {"FullCom", 1},
           {"ComStatus", 0},
           {"ConfLoad", 0},
           {"Freeze", 0},
           {"Startup", 0},
           {"Delay", 250}});
    const QByteArray stored = FileBytes();
    const struct {
        const char* name;
        QFileDevice::Permissions mode;
        const char* startFailure; // nullptr: the stored options are shown
    } cases[] = {
        {"unreadable", QFileDevice::Permissions(), "Failed to get data for 'ComPort'"},
        {"read-only", QFileDevice::ReadOwner, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QFile::setPermissions(harness.store.FileName(), c.mode));
        dialogs.shown.clear();
        form = harness.Build();
        if (c.startFailure) {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].text, QString::fromLatin1(c.startFailure));
            EXPECT_EQ(Ticked(), (std::vector<bool>{false, false, true, false, true}));
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
            EXPECT_EQ(Ticked(), (std::vector<bool>{true, false, false, false, false}));
            EXPECT_EQ(Delay()->Value(), 250);
        }
        form->show();
        Boxes()[2]->setChecked(true);
        EXPECT_FALSE(form->close());
        ASSERT_FALSE(dialogs.shown.empty());
        EXPECT_EQ(dialogs.shown.back().text, QStringLiteral("Failed to set data for 'ComPort'"));
        ASSERT_TRUE(QFile::setPermissions(harness.store.FileName(),
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        EXPECT_EQ(FileBytes(), stored);
        EXPECT_TRUE(form->close()) << "the file can be written again";
        form.reset();
        WriteFile(stored);
    }
}

} // namespace
