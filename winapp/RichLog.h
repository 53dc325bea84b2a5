#pragma once
// A page log over a read-only RichEdit control: coloured lines appended at the end, kept until
// cleared. The lines are also kept here as the dialogue wrote them (8-bit text), so reading a
// line back, and deleting the last one while a run's text grows it, costs the same however
// long the log is. UI thread only.

#include "receiver/Log.h"
#include "winapp/WinApi.h"

#include <string>
#include <vector>

class TRichLog final : public TLog {
public:
    // `edit` is a RichEdit control (version 2 or later) that this log alone writes.
    explicit TRichLog(HWND edit);

    HWND Handle() const { return m_edit; }
    void SetBackground(TColor color);

    void SetColor(TColor color) override { m_color = color; }
    void Append(const std::string& text) override;
    void AppendUtf8(const std::string& text) override;
    void Clear() override;
    int LineCount() const override { return int(m_lines.size()); }
    std::string Line(int index) const override;
    void DeleteLine(int index) override;

private:
    // Appends lines already split, each shown with `wide` text.
    void AppendLines(const std::vector<std::string>& lines, const std::vector<std::wstring>& wide);
    void Replace(LONG start, LONG end, const std::wstring& text, bool colored);

    HWND m_edit;
    TColor m_color = clBlack;
    std::vector<std::string> m_lines;
    // Characters of each line as the control counts them, and of the whole text: a line break
    // counts one.
    std::vector<LONG> m_lengths;
    LONG m_textLength = 0;
};
