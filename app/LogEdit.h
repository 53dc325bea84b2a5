#pragma once
// A page log: a read-only list of coloured text lines. Lines are appended at the end in the
// current writing colour and are kept until cleared. Appending costs the same however long the
// log has grown, so a run that logs every received chunk for minutes stays smooth.
//
// Changes go first into a short pending list and reach the shown document together, in one
// edit, when the event loop next turns; while lines keep coming, at most once a screen frame.
// The receiver's answer is written right after its log line, and the line's layout and repaint
// must not delay it. Every reading call sees the pending lines as if shown already, and any
// repaint of the log shows all that was appended before it.
//
// Its context menu is the toolkit's, with "Save log as..." after a separator: the entry only
// asks (SaveLogRequested); the window saves. UI thread only.

#include "receiver/Log.h"

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <string>
#include <vector>

class QMenu;
class QTextCursor;

class TLogEdit : public QPlainTextEdit, public TLog {
    Q_OBJECT
public:
    explicit TLogEdit(QWidget* parent = nullptr);

    // The colour of text appended from now on; text already shown keeps its colour.
    void SetColor(TColor color) override { m_color = color; }

    void SetBackground(TColor color);
    TColor Background() const;

    // Appends text as a new line; each line feed in it starts a further line, a leading one too.
    void Append(const std::string& text) override; // 8-bit text
    void AppendUtf8(const std::string& text) override;
    void Append(const QString& text);
    void Append(const char* text) { Append(std::string(text)); }
    void Clear() override;
    int LineCount() const override { return m_kept + int(m_pending.size()); }
    std::string Line(int index) const override; // 8-bit text of line index, empty when out of range
    TColor LineColor(int index) const;          // colour the line was written in
    void DeleteLine(int index) override;        // out-of-range indexes are ignored
    // The whole log as the user sees it, a line feed after each line; pending lines included.
    QString Text() const;

    // The context menu the log shows at `position` (in its viewport); the caller owns it.
    QMenu* CreateContextMenu(const QPoint& position);

signals:
    void SaveLogRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct TPendingLine {
        QString text;
        TColor color;
    };

    void Schedule();
    // Brings the document up to date in one edit: drops the lines deleted or cleared from its
    // end, then appends the pending lines.
    void ApplyPending();
    bool HasPending() const { return m_kept != m_shown || !m_pending.empty(); }
    void DeleteShownLine(int index);

    TColor m_color = clBlack;
    // The document always holds one block, even when empty, so its line count is kept apart:
    // m_shown lines are in the document, its first m_kept stay, and m_pending follow them.
    int m_shown = 0;
    int m_kept = 0;
    std::vector<TPendingLine> m_pending;
    QBasicTimer m_applyTimer;
    QElapsedTimer m_sinceApply;
};
