// The page log: lines, line feeds, deleting lines, 8-bit text and the colour each line keeps;
// lines still pending read back exactly as shown ones, and a repaint shows them all.

#include "app/LogEdit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScrollBar>
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

// What the document holds when all the lines are in it.
QString Joined(const Texts& lines) {
    QStringList texts;
    for (const std::string& line : lines)
        texts.append(QString::fromLatin1(line.data(), qsizetype(line.size())));
    return texts.join(u'\n');
}

// A repaint brings the document up to date with every line appended before it.
QImage Repaint(TLogEdit& log) {
    return log.viewport()->grab().toImage();
}

// The event loop turns until the document holds `lines` blocks, or a generous deadline.
void WaitForDocument(TLogEdit& log, int lines) {
    const QDeadlineTimer deadline(5000);
    while (log.document()->blockCount() != lines && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// One step of a script on a log: append, delete a line, clear, or repaint.
struct TStep {
    enum { kAppend, kDelete, kClear, kRepaint } op;
    std::string text;
    TColor color = clBlack;
    int index = 0;
};
TStep Add(std::string text, TColor color = clTeal) {
    return {TStep::kAppend, text, color};
}
TStep Del(int index) {
    return {TStep::kDelete, "", clBlack, index};
}
const TStep C{TStep::kClear, ""}, R{TStep::kRepaint, ""};

} // namespace

TEST(LogEditTest, AppendStartsALineAtEachLineFeed) {
    const struct {
        Texts appended, lines;
    } cases[] = {
        {{}, {}},
        {{"abc"}, {"abc"}},
        {{""}, {""}},
        {{"x", "\nA"}, {"x", "", "A"}},
        {{"a\nb\n"}, {"a", "b", ""}},
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
        {"a\nb\nc", 0, {"b", "c"}}, {"a\nb\nc", 1, {"a", "c"}},
        {"a\nb\nc", 2, {"a", "b"}}, {"a\nb\nc", 3, {"a", "b", "c"}},
        {"a\nb", -1, {"a", "b"}},   {"only", 0, {}},
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

// Each script on three logs: one never repainted (all its lines pending: a plain list), one
// repainted where the script says, one after every step (all its lines in the document). All
// three must read the same after every step.
TEST(LogEditTest, PendingLinesReadBackExactlyAsShownOnes) {
    const struct {
        std::vector<TStep> steps;
        Texts lines;
    } cases[] = {
        {{Add("a\nb\nc"), Add("d", clNavy), Del(1), Add("e", clRed)}, {"a", "c", "d", "e"}},
        // the run's text replacing the last line, shown and pending in turn
        {{Add("a\nb\nc"), R, Del(2), Add("c.", clRed), Del(2), Add("c..", clRed), R, Del(2),
          Add("c...", clBlue)},
         {"a", "b", "c..."}},
        {{Add("a\nb\nc"), R, Del(2), Del(1), Del(0), Add("x", clRed)}, {"x"}},
        // a shown line deleted while lines are pending after it: the last, one between, the first
        {{Add("a\nb\nc"), R, Add("d", clNavy), Del(2)}, {"a", "b", "d"}},
        {{Add("a\nb\nc"), R, Add("d", clNavy), Del(1)}, {"a", "c", "d"}},
        {{Add("a", clRed), Add("\nc"), R, Add("d", clNavy), Del(0)}, {"", "c", "d"}},
        {{Add("a"), R, Add("b", clRed), Del(0)}, {"b"}},
        {{Add("a\nb\nc"), R, C, Add("\n", clBlue), Del(5), Del(-1)}, {"", ""}},
        {{Add("a\nb\nc"), R, C, C, R, Add("x", clRed)}, {"x"}},
        {{Add("a\nb\nc"), C, Add("x", clRed), R, Del(0), Add("", clBlue)}, {""}},
    };
    for (const auto& c : cases) {
        TLogEdit model, some, every;
        some.show(); // a hidden log is not painted
        every.show();
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const TStep& step = c.steps[i];
            for (TLogEdit* log : {&model, &some, &every}) {
                if (step.op == TStep::kAppend) {
                    log->SetColor(step.color);
                    log->Append(step.text);
                } else if (step.op == TStep::kDelete) {
                    log->DeleteLine(step.index);
                } else if (step.op == TStep::kClear) {
                    log->Clear();
                }
                if (log == &every || (log == &some && step.op == TStep::kRepaint))
                    Repaint(*log);
            }
            SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", step " << i);
            for (TLogEdit* log : {&some, &every}) {
                ASSERT_EQ(Lines(*log), Lines(model));
                ASSERT_EQ(Colors(*log), Colors(model));
            }
            ASSERT_EQ(every.document()->toPlainText(), Joined(Lines(model)));
        }
        EXPECT_EQ(Lines(model), c.lines);
    }
}

// A shown log takes its lines when the event loop turns; a repaint before that shows them
// too, the same to the pixel. A log scrolled to its end follows new lines; one scrolled back
// stays where it is.
TEST(LogEditTest, RepaintShowsEveryLineAppendedBeforeIt) {
    TLogEdit painted, waited;
    for (TLogEdit* log : {&painted, &waited}) {
        log->resize(300, 150);
        log->show();
        for (int i = 0; i < 40; ++i) {
            log->SetColor(i % 2 ? clTeal : clNavy);
            log->Append("line " + std::to_string(i));
        }
    }
    const QImage early = Repaint(painted);
    WaitForDocument(waited, 40);
    ASSERT_EQ(waited.document()->blockCount(), 40);
    EXPECT_TRUE(early == Repaint(waited)) << "the repaint showed the log behind";
    EXPECT_EQ(waited.verticalScrollBar()->value(), waited.verticalScrollBar()->maximum());

    waited.verticalScrollBar()->setValue(3);
    waited.Append("line 40");
    WaitForDocument(waited, 41);
    EXPECT_EQ(waited.verticalScrollBar()->value(), 3);
}
