#include "winapp/RichLog.h"

#include "external/WinText.h"
#include "system/UserFileWrite.h"
#include "winapp/Dialogs.h"
#include "winapp/HandOver.h"
#include "winapp/WinApi.h"

#include <stdexcept>

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

// 8-bit text as UTF-8, each byte the character of its number (0xB0 is U+00B0, "\xC2\xB0").
std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += char(0xC0 | byte >> 6);
            utf8 += char(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// UTF-8 back to 8-bit text, as the Qt window's log gives a line back: each UTF-16 unit that is
// not Latin-1 becomes "?".
std::string Utf8ToLatin1(const std::string& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            narrow += char(lead);
            i += 1;
        } else if (lead < 0xE0) {
            const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
            narrow += lead < 0xC4 ? char((lead & 0x1F) << 6 | (next & 0x3F)) : '?';
            i += 2;
        } else if (lead < 0xF0) {
            narrow += '?';
            i += 3;
        } else {
            narrow += "??"; // a surrogate pair
            i += 4;
        }
    }
    return narrow;
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

constexpr UINT_PTR SubclassId = 1;

} // namespace

TRichLog::TRichLog(HWND edit) : m_edit(edit) {
    // No limit of the log's own: the dialogue never trims a log.
    SendMessageW(m_edit, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    SetWindowSubclass(m_edit, EditProc, SubclassId, DWORD_PTR(this));
}

TRichLog::~TRichLog() {
    if (IsWindow(m_edit))
        RemoveWindowSubclass(m_edit, EditProc, SubclassId);
}

LRESULT CALLBACK TRichLog::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self) {
    auto* log = reinterpret_cast<TRichLog*>(self);
    switch (message) {
    case WM_CONTEXTMENU: {
        const POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        // A scroll bar keeps its own menu.
        POINT inside = at;
        RECT client{};
        GetClientRect(edit, &client);
        ScreenToClient(edit, &inside);
        if (lParam != -1 && !PtInRect(&client, inside))
            break;
        log->ShowContextMenu(at);
        return 0;
    }
    case WM_COMMAND:
        // The menu's choice; a control's notification carries its handle.
        if (lParam != 0)
            break;
        switch (LOWORD(wParam)) {
        case cmCopy: SendMessageW(edit, WM_COPY, 0, 0); return 0;
        case cmSelectAll: {
            CHARRANGE all{0, -1};
            SendMessageW(edit, EM_EXSETSEL, 0, LPARAM(&all));
            return 0;
        }
        case cmSaveLogAs: log->SaveLogAs(); return 0;
        }
        break;
    case WM_NCDESTROY: RemoveWindowSubclass(edit, EditProc, id); break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

void TRichLog::ShowContextMenu(POINT at) {
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: by the selection's start when it is in sight, else the corner.
        CHARRANGE selection{};
        SendMessageW(m_edit, EM_EXGETSEL, 0, LPARAM(&selection));
        POINTL caret{};
        SendMessageW(m_edit, EM_POSFROMCHAR, WPARAM(&caret), selection.cpMin);
        RECT client{};
        GetClientRect(m_edit, &client);
        at = {caret.x, caret.y};
        if (!PtInRect(&client, at))
            at = {client.left, client.top};
        ClientToScreen(m_edit, &at);
    }
    CHARRANGE selection{};
    SendMessageW(m_edit, EM_EXGETSEL, 0, LPARAM(&selection));
    const auto greyed = [](bool off) { return MF_STRING | (off ? MF_GRAYED : 0); };
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, greyed(selection.cpMin == selection.cpMax), cmCopy, L"&Copy");
    AppendMenuW(menu, greyed(m_textLength == 0), cmSelectAll, L"Select &All");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, greyed(m_dialogs == nullptr), cmSaveLogAs, L"Save log as...");
    // The choice comes back to the control as WM_COMMAND.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, m_edit,
                   nullptr);
    DestroyMenu(menu);
}

void TRichLog::SaveLogAs() {
    if (m_dialogs == nullptr)
        return;
    const HWND owner = GetAncestor(m_edit, GA_ROOT);
    // A window procedure lets no failure through: it is told in the failure box here.
    try {
        std::wstring fileName;
        if (!m_dialogs->ChooseSaveFile(owner, "Save log as", fileName))
            return;
        const std::string path = Narrow(fileName);
        std::string why;
        if (!WriteUserFile(path, Text(), why))
            throw std::runtime_error("The log was not saved to " + path + ": " + why);
    } catch (...) {
        ReportCurrentException(owner, *m_dialogs);
    }
}

std::string TRichLog::Text() const {
    size_t size = 0;
    for (const std::string& line : m_lines)
        size += line.size() + 1;
    std::string text;
    text.reserve(size);
    for (const std::string& line : m_lines) {
        text += line;
        text += '\n';
    }
    return text;
}

void TRichLog::SetBackground(TColor color) {
    SendMessageW(m_edit, EM_SETBKGNDCOLOR, 0, LPARAM(color));
}

void TRichLog::Append(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    std::vector<std::wstring> wide;
    for (std::string& line : lines) {
        wide.push_back(Latin1(line));
        line = Latin1ToUtf8(line);
    }
    AppendLines(lines, wide);
}

void TRichLog::AppendUtf8(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    std::vector<std::wstring> wide;
    for (std::string& line : lines) {
        wide.push_back(Widen(line));
        // Kept as shown: text that is not UTF-8 has its replacement characters.
        line = Narrow(wide.back());
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
    return index >= 0 && index < LineCount() ? Utf8ToLatin1(m_lines[size_t(index)]) : std::string();
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
