#pragma once
// A page log: a read-only list of coloured text lines. Lines are appended at the end in the
// current writing colour and are kept until cleared. Appending costs the same however long the
// log has grown, so a run that logs every received chunk for minutes stays smooth.
// UI thread only.

#include "Log.h"

#include <QPlainTextEdit>
#include <string>

class QTextCursor;

class TLogEdit : public QPlainTextEdit, public TLog {
    Q_OBJECT
public:
    explicit TLogEdit(QWidget* parent = nullptr);

    // The colour of text appended from now on; text already shown keeps its colour.
    void SetColor(TColor color) override { m_color = color; }
    TColor Color() const { return m_color; }

    void SetBackground(TColor color);
    TColor Background() const;

    // Appends text as a new line; each line feed in it starts a further line, a leading one too.
    void Append(const std::string& text) override; // 8-bit text
    void Append(const QString& text) override;
    void Append(const char* text) { Append(std::string(text)); }
    void Clear() override;
    int LineCount() const override { return m_lineCount; }
    std::string Line(int index) const override; // 8-bit text of line index, empty when out of range
    TColor LineColor(int index) const;          // colour the line was written in
    void DeleteLine(int index) override;        // out-of-range indexes are ignored

private:
    void AppendLine(QTextCursor& cursor, const QString& line); // inside the caller's edit

    TColor m_color = clBlack;
    // The document always holds one block, even when empty, so the line count is kept apart.
    int m_lineCount = 0;
};
