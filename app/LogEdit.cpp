#include "LogEdit.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TLogEdit::TLogEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false); // an undo stack would double the memory of a long log
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A log takes no input, so it shows no text cursor; the keyboard still selects through the
    // unseen one.
    setCursorWidth(0);
    // The log paints the whole of its rectangle itself (the frame and the corner between the
    // scroll bars in the window colour, as its parent would), so a new line repaints the log
    // alone. Left see-through, every append also repainted the window, the page control, the
    // page and the group box under the scroll bars: five more paints for each received chunk.
    setAutoFillBackground(true);
}

void TLogEdit::SetBackground(TColor color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(color));
    setPalette(pal);
}

TColor TLogEdit::Background() const { return FromQColor(palette().color(QPalette::Base)); }

void TLogEdit::Append(const std::string& text) {
    Append(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void TLogEdit::Append(const QString& text) {
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    // One edit for all the lines: the view lays the document out once, when the edit ends.
    // Step by step, each move, break, format and insert was a change of its own, the old last
    // line was laid out again just to place the cursor, and an append with its repaint cost
    // twice what Qt's own appendPlainText does.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(u'\n', start);
        AppendLine(cursor, text.mid(start, (end < 0 ? text.size() : end) - start));
        if (end < 0)
            break;
        start = end + 1;
    }
    cursor.endEditBlock();
    if (following)
        bar->setValue(bar->maximum());
}

void TLogEdit::AppendLine(QTextCursor& cursor, const QString& line) {
    cursor.movePosition(QTextCursor::End);
    if (m_lineCount > 0)
        cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(ToQColor(m_color));
    cursor.setBlockCharFormat(format); // an empty line keeps its colour too
    cursor.insertText(line, format);
    ++m_lineCount;
}

void TLogEdit::Clear() {
    document()->clear();
    m_lineCount = 0;
}

std::string TLogEdit::Line(int index) const {
    if (index < 0 || index >= m_lineCount)
        return {};
    return document()->findBlockByNumber(index).text().toLatin1().toStdString();
}

TColor TLogEdit::LineColor(int index) const {
    if (index < 0 || index >= m_lineCount)
        return m_color;
    // Deleting a line merges blocks, so the text's own format is the reliable one; an empty
    // line has only its block's.
    const QTextBlock block = document()->findBlockByNumber(index);
    const QTextBlock::iterator first = block.begin();
    const QTextCharFormat format =
        first.atEnd() ? block.charFormat() : first.fragment().charFormat();
    return FromQColor(format.foreground().color());
}

void TLogEdit::DeleteLine(int index) {
    if (index < 0 || index >= m_lineCount)
        return;
    if (m_lineCount == 1) {
        Clear();
        return;
    }
    // A line's colour is kept by the break that starts it, so a line goes together with the
    // break before it; the first line has none, and the next line's colour is restored.
    const QTextBlock block = document()->findBlockByNumber(index);
    QTextCursor cursor(document());
    QTextCharFormat nextFormat;
    if (index > 0) {
        cursor.setPosition(block.position() - 1);
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    } else {
        nextFormat = block.next().charFormat();
        cursor.setPosition(block.position());
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    if (index == 0)
        cursor.setBlockCharFormat(nextFormat);
    --m_lineCount;
}
