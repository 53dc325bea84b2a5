// The page log: lines, line feeds, deleting lines, 8-bit text and the colour each line keeps.

#include "LogEdit.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

Texts Lines(const TLogEdit& log) {
    Texts lines;
    for (int i = 0; i < log.LineCount(); ++i)
        lines.push_back(log.Line(i));
    return lines;
}

std::vector<TColor> Colors(const TLogEdit& log) {
    std::vector<TColor> colors;
    for (int i = 0; i < log.LineCount(); ++i)
        colors.push_back(log.LineColor(i));
    return colors;
}

} // namespace

TEST(LogEditTest, AppendStartsALineAtEachLineFeed) {
    const struct {
        Texts appended, lines;
    } cases[] = {
        {{}, {}},           {{"abc"}, {"abc"}},           {{""}, {""}},
        {{"x", "\nA"}, {"x", "", "A"}}, {{"a\nb\n"}, {"a", "b", ""}},
        {{"\x80\x9F\xA0\xB0\xC0"}, {"\x80\x9F\xA0\xB0\xC0"}}, // 8-bit text
    };
    for (const auto& c : cases) {
        TLogEdit log;
        for (const std::string& text : c.appended)
            log.Append(text);
        SCOPED_TRACE(testing::PrintToString(c.appended));
        EXPECT_EQ(Lines(log), c.lines);
        EXPECT_EQ(log.Line(-1), "");
        EXPECT_EQ(log.Line(log.LineCount()), "");
    }
}

// After the deletion the next line must follow the remaining ones directly, with no stray line.
TEST(LogEditTest, DeleteLineAndClearRemoveOnlyTheirLines) {
    constexpr int kClear = -100;
    const struct {
        const char* text;
        int index;
        Texts left;
    } cases[] = {
        {"a\nb\nc", 0, {"b", "c"}},      {"a\nb\nc", 1, {"a", "c"}}, {"a\nb\nc", 2, {"a", "b"}},
        {"a\nb\nc", 3, {"a", "b", "c"}}, {"a\nb", -1, {"a", "b"}},   {"only", 0, {}},
        {"a\nb", kClear, {}},
    };
    for (const auto& c : cases) {
        TLogEdit log;
        log.Append(c.text);
        if (c.index == kClear)
            log.Clear();
        else
            log.DeleteLine(c.index);
        SCOPED_TRACE(testing::Message() << c.text << " @" << c.index);
        EXPECT_EQ(Lines(log), c.left);
        log.Append("z");
        Texts withNext = c.left;
        withNext.push_back("z");
        EXPECT_EQ(Lines(log), withNext);
    }
}

// Two of the lines are empty: an empty line has no text of its own to carry a colour.
TEST(LogEditTest, LinesKeepTheirColourAlsoAfterALineBeforeThemIsDeleted) {
    const Texts texts = {"red", "", "teal", "", "navy"};
    const std::vector<TColor> colors = {clRed, clBlue, clTeal, 0x008000, clNavy};
    for (int deleted = -1; deleted < 5; ++deleted) {
        TLogEdit log;
        for (size_t i = 0; i < texts.size(); ++i) {
            log.SetColor(colors[i]);
            log.Append(texts[i]);
        }
        log.SetColor(clBlack); // text already shown keeps its colour
        log.DeleteLine(deleted);

        Texts leftTexts = texts;
        std::vector<TColor> leftColors = colors;
        if (deleted >= 0) {
            leftTexts.erase(leftTexts.begin() + deleted);
            leftColors.erase(leftColors.begin() + deleted);
        }
        SCOPED_TRACE(deleted);
        EXPECT_EQ(Lines(log), leftTexts);
        EXPECT_EQ(Colors(log), leftColors);
    }
}

// A running write shows its progress by replacing the last line with a longer one.
TEST(LogEditTest, ReplacingTheLastLineWithItsExtensionKeepsTheCount) {
    TLogEdit log;
    log.Append("Programming FLASH");
    log.SetColor(clBlue);
    std::string progress = "Sending";
    log.Append(progress);
    for (int step = 0; step < 3; ++step) {
        log.DeleteLine(log.LineCount() - 1);
        log.Append(progress += '.');
    }
    EXPECT_EQ(Lines(log), (Texts{"Programming FLASH", "Sending..."}));
    EXPECT_EQ(Colors(log), (std::vector<TColor>{clBlack, clBlue}));
}

// A log has no text cursor: focused and empty, it shows nothing.
TEST(LogEditTest, FocusedLogShowsNoCursor) {
    TLogEdit log;
    log.show();
    log.activateWindow();
    log.setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(log.hasFocus());
    const QImage shown = log.viewport()->grab().toImage();
    QImage blank(shown.size(), shown.format());
    blank.fill(shown.pixel(0, 0));
    EXPECT_TRUE(shown == blank) << "marks on an empty log";
}
