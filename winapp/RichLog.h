#pragma once
// A page log over a read-only RichEdit control: coloured lines appended at the end, kept until
// cleared. The lines are also kept here as UTF-8 text, each byte of 8-bit text as the
// character of that number, so reading a line back, and deleting the last one while a run's
// text grows it, costs the same however long the log is.
//
// Its context menu (a right click, Shift+F10 or the menu key) offers Copy and Select All and,
// after a separator, "Save log as...": the whole log, UTF-8 with a line feed after each line,
// into a file the user names in the save dialog, refused unless it is a regular file of the
// user or a new one (UserFileWrite.h); a failure is told in the failure box. UI thread only.

#include "receiver/Log.h"
#include "winapp/WinApi.h"

class TWinDialogs;

#include <string>
#include <vector>

class TRichLog final : public TLog {
public:
    // `edit` is a RichEdit control (version 2 or later) that this log alone writes.
    explicit TRichLog(HWND edit);
    TRichLog(const TRichLog&) = delete;
    TRichLog& operator=(const TRichLog&) = delete;
    ~TRichLog() override;

    // The boxes that saving the log asks and reports with; until given, the entry is greyed.
    void OfferSaving(TWinDialogs& dialogs) { m_dialogs = &dialogs; }
    // The context menu's commands, sent to the control as WM_COMMAND.
    enum TMenuCommand : UINT { cmCopy = 1, cmSelectAll, cmSaveLogAs };

    HWND Handle() const { return m_edit; }
    void SetBackground(TColor color);

    void SetColor(TColor color) override { m_color = color; }
    void Append(const std::string& text) override;
    void AppendUtf8(const std::string& text) override;
    void Clear() override;
    int LineCount() const override { return int(m_lines.size()); }
    std::string Line(int index) const override;
    void DeleteLine(int index) override;
    // The whole log as saved: UTF-8, a line feed after each line.
    std::string Text() const;

private:
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    // Shows the context menu at `at` (screen), or by the caret for the keyboard's (-1, -1).
    void ShowContextMenu(POINT at);
    void SaveLogAs();
    // Appends lines already split, each shown with `wide` text.
    void AppendLines(const std::vector<std::string>& lines, const std::vector<std::wstring>& wide);
    void Replace(LONG start, LONG end, const std::wstring& text, bool colored);

    HWND m_edit;
    TWinDialogs* m_dialogs = nullptr;
    TColor m_color = clBlack;
    std::vector<std::string> m_lines; // UTF-8
    // Characters of each line as the control counts them, and of the whole text: a line break
    // counts one.
    std::vector<LONG> m_lengths;
    LONG m_textLength = 0;
};
