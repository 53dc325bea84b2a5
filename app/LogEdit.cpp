#include "app/LogEdit.h"

#include "app/Colors.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimerEvent>
#include <algorithm>
#include <memory>

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

TColor TLogEdit::Background() const {
    return FromQColor(palette().color(QPalette::Base));
}

void TLogEdit::Append(const std::string& text) {
    Append(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void TLogEdit::AppendUtf8(const std::string& text) {
    Append(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void TLogEdit::Append(const QString& text) {
    qsizetype start = 0;
    for (qsizetype end; (end = text.indexOf(u'\n', start)) >= 0; start = end + 1)
        m_pending.push_back({text.mid(start, end - start), m_color});
    // Most appends are one line: it is taken as it is, without a copy.
    m_pending.push_back({start == 0 ? text : text.mid(start), m_color});
    Schedule();
}

void TLogEdit::Clear() {
    m_pending.clear();
    m_kept = 0;
    if (m_shown > 0)
        Schedule();
}

std::string TLogEdit::Line(int index) const {
    if (index < 0 || index >= LineCount())
        return {};
    const QString text = index < m_kept ? document()->findBlockByNumber(index).text()
                                        : m_pending[size_t(index - m_kept)].text;
    return text.toLatin1().toStdString();
}

QString TLogEdit::Text() const {
    QString text;
    QTextBlock block = document()->begin();
    for (int i = 0; i < m_kept; ++i, block = block.next())
        text += block.text() + u'\n';
    for (const TPendingLine& line : m_pending)
        text += line.text + u'\n';
    return text;
}

QMenu* TLogEdit::CreateContextMenu(const QPoint& position) {
    QMenu* menu = createStandardContextMenu(position);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Save log as...")), &QAction::triggered, this,
            &TLogEdit::SaveLogRequested);
    return menu;
}

void TLogEdit::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu(CreateContextMenu(event->pos()));
    menu->exec(event->globalPos());
}

TColor TLogEdit::LineColor(int index) const {
    if (index < 0 || index >= LineCount())
        return m_color;
    if (index >= m_kept)
        return m_pending[size_t(index - m_kept)].color;
    // Deleting a line merges blocks, so the text's own format is the reliable one; an empty
    // line has only its block's.
    const QTextBlock block = document()->findBlockByNumber(index);
    const QTextBlock::iterator first = block.begin();
    const QTextCharFormat format =
        first.atEnd() ? block.charFormat() : first.fragment().charFormat();
    return FromQColor(format.foreground().color());
}

void TLogEdit::DeleteLine(int index) {
    if (index < 0 || index >= LineCount())
        return;
    if (index >= m_kept) {
        m_pending.erase(m_pending.begin() + (index - m_kept));
    } else if (index == m_kept - 1 && m_pending.empty()) {
        // The last line, as the run's text replaces it: dropped with the next edit, so that
        // the replacement is laid out once.
        --m_kept;
        Schedule();
    } else {
        DeleteShownLine(index);
    }
}

void TLogEdit::DeleteShownLine(int index) {
    if (m_shown == 1) {
        document()->clear();
        m_shown = m_kept = 0;
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
    --m_shown;
    --m_kept;
}

void TLogEdit::Schedule() {
    if (m_applyTimer.isActive())
        return;
    // At once after a quiet spell; while lines keep coming, one edit and one repaint a frame.
    const QScreen* shown = screen();
    const qreal rate = shown != nullptr ? shown->refreshRate() : 60;
    const qint64 frameMs = qint64(1000 / std::clamp<qreal>(rate, 24, 240));
    const qint64 since = m_sinceApply.isValid() ? m_sinceApply.elapsed() : frameMs;
    m_applyTimer.start(int(std::max<qint64>(0, frameMs - since)), Qt::PreciseTimer, this);
}

void TLogEdit::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_applyTimer.timerId()) {
        QPlainTextEdit::timerEvent(event);
        return;
    }
    m_applyTimer.stop();
    ApplyPending();
}

bool TLogEdit::viewportEvent(QEvent* event) {
    // A repaint for any other reason (an expose, a scroll) must not show the log behind.
    if (event->type() == QEvent::Paint && HasPending())
        ApplyPending();
    return QPlainTextEdit::viewportEvent(event);
}

void TLogEdit::ApplyPending() {
    m_sinceApply.start();
    if (!HasPending())
        return;
    if (m_kept == 0 && m_pending.empty()) {
        document()->clear();
        m_shown = 0;
        return;
    }
    // Following the end as the log did when each change came alone: a line is one step of the
    // bar, so dropping lines from the end brought a bar that many steps up to its end, and a
    // cleared log is at its end.
    QScrollBar* bar = verticalScrollBar();
    const bool following = m_kept == 0 || bar->value() >= bar->maximum() - (m_shown - m_kept);
    // One edit for the lines dropped and all the lines added: the view lays the document out
    // once, when the edit ends, and a log cleared and filled again with lines as wide does
    // not move its scroll bars. Step by step, each move, break, format and insert was a change
    // of its own, the old last line was laid out again just to place the cursor, and an append
    // with its repaint cost twice what Qt's own appendPlainText does.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    if (m_kept < m_shown) {
        // From the end of the last kept line: the breaks that start the dropped lines go too.
        const QTextBlock kept = document()->findBlockByNumber(m_kept - 1);
        cursor.setPosition(m_kept > 0 ? kept.position() + kept.length() - 1 : 0);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_shown = m_kept;
    }
    cursor.movePosition(QTextCursor::End);
    for (const TPendingLine& line : m_pending) {
        if (m_shown > 0)
            cursor.insertBlock();
        QTextCharFormat format;
        format.setForeground(ToQColor(line.color));
        cursor.setBlockCharFormat(format); // an empty line keeps its colour too
        cursor.insertText(line.text, format);
        ++m_shown;
    }
    cursor.endEditBlock();
    m_kept = m_shown;
    m_pending.clear();
    if (following)
        bar->setValue(bar->maximum());
}
