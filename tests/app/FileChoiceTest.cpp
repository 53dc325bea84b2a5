// Choosing the image on each page: the size question at the edges of each kind's rule, keeping
// the earlier choice on cancel or No, and the lines that drop the earlier load and announce
// the new one.

#include "app/OpenDialog.h"
#include "app/PageControl.h"
#include "tests/app/DialogueHarness.h"

#include <QDir>
#include <optional>
#include <sys/stat.h>

using namespace Dialogue;

namespace {

const std::string PressReceiverLine = "Press a button in front of receiver to start download...";

class FileChoiceTest : public TDialogueTest {
protected:
    // Chooses `path` on `page` through the page's choose button; `answer` goes to the size
    // question, should one be asked.
    void Choose(int page, const std::optional<QString>& path, bool answer = true) {
        Child<TPageControl>(*form, "PageControl1")->setCurrentIndex(page);
        dialogs.openAnswer = path;
        dialogs.answers = {answer};
        dialogs.shown.clear();
        form->FileOpen1Execute(form->ChooseButtons()[size_t(page)]);
    }

    QTemporaryDir images;
};

TEST_F(FileChoiceTest, SizeIsQuestionedOnlyOffTheUsualSizeOfItsKind) {
    const char* const sentences[] = {
        "Usually FLASH file has size 524288 bytes\n and writing a wrong file can damage the "
        "receiver.\n",
        "Usually FIRMWARE file has at least size 1024000 bytes\n and writing a wrong file can "
        "damage the receiver.\n",
        "Usually EEPROM file has size 4096 bytes\n and writing a wrong file can damage the "
        "receiver.\n"};
    const char* const ready[] = {"Ready to load flash with file ",
                                 "Ready to load firmware with file ",
                                 "Ready to load eeprom with file "};
    const struct {
        int page;
        qint64 size;
        bool asks;
    } cases[] = {
        {0, 524288, false},  {0, 524287, true},  {0, 524289, true},
        {1, 1024000, false}, {1, 1023999, true}, {1, 1024001, false},
        {2, 4096, false},    {2, 4097, true},    {2, 0, false},
    };
    int made = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "page " << c.page << " size " << c.size);
        const QString path = MakeImage(images, QStringLiteral("image%1.dat").arg(++made), c.size);
        Choose(c.page, path);

        if (c.asks) {
            ASSERT_EQ(dialogs.shown.size(), 1u);
            EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Attention"));
            EXPECT_EQ(dialogs.shown[0].icon, TMsgIcon::Warning);
            EXPECT_EQ(dialogs.shown[0].text,
                      QStringLiteral("You have load a file with size %1 bytes.\n").arg(c.size) +
                          QString::fromLatin1(sentences[c.page]) +
                          QStringLiteral("Continue anyway?"));
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
        }
        EXPECT_EQ(form->Dialogue().SelectedKind(), c.page);
        EXPECT_EQ(form->FileDialog().FileName, path);
        TLogEdit* log = form->Logs()[size_t(c.page)];
        EXPECT_EQ(log->Line(log->LineCount() - 3), ready[c.page] + path.toStdString());
        EXPECT_EQ(LastLine(log), PressReceiverLine);
    }
}

// Only a regular file the program can read is an image, on every page. Anything else is refused
// with a line and no question, and the earlier choice stays: a file gone by the time it is
// measured (the Eeprom page took it silently as -1 bytes), a device, a folder, and a pipe
// nobody writes to, which held the window for good.
TEST_F(FileChoiceTest, WhatIsNotAReadableRegularFileIsRefusedOnEveryPage) {
    const QString flash = MakeImage(images, QStringLiteral("flash.dat"), 524288);
    Choose(0, flash);
    const QString gone = images.filePath(QStringLiteral("gone.dat"));
    const QString pipe = images.filePath(QStringLiteral("pipe.dat"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const struct {
        int page;
        QString path;
        const char* reason;
    } cases[] = {
        {0, gone, "No such file or directory"},
        {2, gone, "No such file or directory"},
        {2, QStringLiteral("/dev/zero"), "it is a device, not a file"},
        {1, images.path(), "it is a folder, not a file"},
        {2, pipe, "it is a pipe, not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Choose(c.page, c.path);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(form->Dialogue().SelectedKind(), ikFlash);
        EXPECT_EQ(form->FileDialog().FileName, flash);
        TLogEdit* log = form->Logs()[size_t(c.page)];
        EXPECT_EQ(LastLine(log), "Cannot load " + c.path.toStdString() + ": " + c.reason + "...");
        EXPECT_EQ(log->LineColor(log->LineCount() - 1), clRed);
    }
}

TEST_F(FileChoiceTest, CancelOrNoKeepsTheEarlierChoice) {
    const QString flash = MakeImage(images, QStringLiteral("flash.dat"), 524288);
    Choose(0, flash);
    const QString folder = form->FileDialog().InitialDir;
    EXPECT_EQ(folder, images.path() + u'/');
    std::vector<std::vector<std::string>> logs;
    for (TLogEdit* log : form->Logs())
        logs.push_back(Lines(log));

    ASSERT_TRUE(QDir(images.path()).mkdir(QStringLiteral("other")));
    const QString large = MakeImage(images, QStringLiteral("other/large.dat"), 4097);
    for (const auto& [answer, agreed] :
         {std::pair{std::optional<QString>(), true}, std::pair{std::optional(large), false}}) {
        SCOPED_TRACE(answer ? "No" : "cancel");
        Choose(2, answer, agreed);
        EXPECT_EQ(form->Dialogue().SelectedKind(), ikFlash);
        EXPECT_EQ(form->FileDialog().FileName, flash);
        EXPECT_EQ(form->FileDialog().InitialDir, folder);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Lines(form->Logs()[i]), logs[i]) << "log " << i;
    }
    // The Eeprom page's program button still answers that its kind was not chosen.
    form->ToolButton16Click(form->RunButtons()[2]);
    EXPECT_EQ(LastLine(form->Logs()[2]),
              "You haven't select a file to load in E2PROM. First select a valid file...");
}

TEST_F(FileChoiceTest, NewChoiceDropsTheEarlierOneInItsOwnLog) {
    const QString first = MakeImage(images, QStringLiteral("first.bin"), 524288);
    const QString second = MakeImage(images, QStringLiteral("second.bin"), 524288);
    Choose(0, first);
    const int before = form->Logs()[0]->LineCount();
    Choose(0, second);
    TLogEdit* flash = form->Logs()[0];
    const std::vector<std::string> lines = Lines(flash);
    const std::vector<TColor> colors = Colors(flash);
    const std::vector<std::string> added(lines.begin() + before, lines.end());
    EXPECT_EQ(added,
              (std::vector<std::string>{"", "Delete last load command...",
                                        "Ready to load flash with file " + second.toStdString(), "",
                                        PressReceiverLine}));
    EXPECT_EQ(std::vector<TColor>(colors.begin() + before, colors.end()),
              (std::vector<TColor>{clNavy, clNavy, clBlue, clBlue, clBlue}));

    // Held in its loader, the receiver waits for the program button instead.
    form->Dialogue().EnterFrozen();
    const QString eeprom = MakeImage(images, QStringLiteral("e2.bin"), 4096);
    Choose(2, eeprom);
    EXPECT_EQ(LastLine(flash), "Delete last load command...");
    EXPECT_EQ(Lines(form->Logs()[2]),
              (std::vector<std::string>{"Ready to load eeprom with file " + eeprom.toStdString(),
                                        "", "Press the program button to write your receiver..."}));
    EXPECT_EQ(form->Dialogue().SelectedKind(), ikEeprom);
}

} // namespace
