#include "winapp/RichLog.h"

#include "external/WinText.h"
#include "winapp/WinApi.h"

namespace {

// A control character as its picture (U+2400 and on): one character still, so the line's
// length stays what is counted, and none that the control would take for a break.
wchar_t Shown(wchar_t c) {
    return c < 0x20 ? wchar_t(0x2400 + c) : c;
}

// 8-bit text as the window shows it: each byte its own character.
std::wstring Latin1(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        wide[i] = Shown(wchar_t(static_cast<unsigned char>(text[i])));
    return wide;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

} // namespace

TRichLog::TRichLog(HWND edit) : m_edit(edit) {
    // No limit of the log's own: the dialogue never trims a log.
    SendMessageW(m_edit, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
}

void TRichLog::SetBackground(TColor color) {
    SendMessageW(m_edit, EM_SETBKGNDCOLOR, 0, LPARAM(color));
}

void TRichLog::Append(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    std::vector<std::wstring> wide;
    for (const std::string& line : lines)
        wide.push_back(Latin1(line));
    AppendLines(lines, wide);
}

void TRichLog::AppendUtf8(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    std::vector<std::wstring> wide;
    for (std::string& line : lines) {
        wide.push_back(Widen(line));
        // Kept as 8-bit text, as the Qt window's log gives it back: what is not Latin-1 is "?".
        std::string narrow;
        for (wchar_t c : wide.back())
            narrow += c < 256 ? char(c) : '?';
        line = narrow;
        for (wchar_t& c : wide.back())
            c = Shown(c);
    }
    AppendLines(lines, wide);
}

void TRichLog::AppendLines(const std::vector<std::string>& lines,
                           const std::vector<std::wstring>& wide) {
    std::wstring shown;
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool first = m_lines.empty();
        if (!first)
            shown += L'\r';
        shown += wide[i];
        m_lines.push_back(lines[i]);
        m_lengths.push_back(LONG(wide[i].size()));
        m_textLength += LONG(wide[i].size()) + (first ? 0 : 1);
    }
    Replace(-1, -1, shown, true);
    // The caret goes to the start of the last line, so the log shows the beginnings of its
    // lines, scrolled down to the newest.
    const LONG lastLine = m_textLength - m_lengths.back();
    CHARRANGE caret{lastLine, lastLine};
    SendMessageW(m_edit, EM_EXSETSEL, 0, LPARAM(&caret));
    SendMessageW(m_edit, WM_HSCROLL, SB_LEFT, 0);
    SendMessageW(m_edit, WM_VSCROLL, SB_BOTTOM, 0);
}

void TRichLog::Replace(LONG start, LONG end, const std::wstring& text, bool colored) {
    CHARRANGE range{start, end};
    SendMessageW(m_edit, EM_EXSETSEL, 0, LPARAM(&range));
    if (colored) {
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_COLOR;
        format.crTextColor = COLORREF(m_color);
        SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    }
    SendMessageW(m_edit, EM_REPLACESEL, FALSE, LPARAM(text.c_str()));
}

void TRichLog::Clear() {
    m_lines.clear();
    m_lengths.clear();
    m_textLength = 0;
    SetWindowTextW(m_edit, L"");
}

std::string TRichLog::Line(int index) const {
    return index >= 0 && index < LineCount() ? m_lines[size_t(index)] : std::string();
}

void TRichLog::DeleteLine(int index) {
    if (index < 0 || index >= LineCount())
        return;
    LONG start = 0;
    if (index == LineCount() - 1) {
        start = m_textLength - m_lengths.back();
    } else {
        for (int i = 0; i < index; ++i)
            start += m_lengths[size_t(i)] + 1;
    }
    const LONG length = m_lengths[size_t(index)];
    // The line goes with one of its breaks: the one after it, or before it for the last line.
    LONG from = start, to = start + length;
    if (index + 1 < LineCount())
        to += 1;
    else if (index > 0)
        from -= 1;
    Replace(from, to, L"", false);
    m_textLength -= to - from;
    m_lines.erase(m_lines.begin() + index);
    m_lengths.erase(m_lengths.begin() + index);
}
