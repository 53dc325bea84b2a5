#pragma once
// The window's modal boxes: a Yes/No question, a failure report, the open-file and save-file
// dialogs and the About box. One interface, so that tests can answer them; the program uses
// TSystemDialogs, the system's own boxes. Texts are UTF-8. UI thread only.

#include "receiver/MsgIcon.h"
#include "winapp/WinApi.h"

#include <string>

// What the open-file dialog is given and gives back; kept between its showings.
struct TOpenFile {
    std::wstring FileName;   // offered, then chosen: a full path
    std::wstring InitialDir; // where the dialog starts
    int FilterIndex = 1;     // the filter in use, from 1, kept when a file is accepted
};

class TWinDialogs {
public:
    virtual ~TWinDialogs() = default;
    // Yes and No with the given default; true only for Yes.
    virtual bool AskYesNo(HWND owner, const std::string& caption, const std::string& text,
                          TMsgIcon icon, TMsgDefault preset) = 0;
    // The application's failure box: an error icon and OK.
    virtual void ShowFailure(HWND owner, const std::string& text) = 0;
    // The open-file dialog with the image files' filter; false when cancelled.
    virtual bool ChooseFile(HWND owner, TOpenFile& file) = 0;
    // The save-file dialog for text files, titled `caption`: `fileName` is offered, then
    // chosen (a full path); an existing file is replaced only once the user agrees. False when
    // cancelled.
    virtual bool ChooseSaveFile(HWND owner, const std::string& caption, std::wstring& fileName) = 0;
    virtual void ShowAbout(HWND owner) = 0;
};

class TSystemDialogs final : public TWinDialogs {
public:
    bool AskYesNo(HWND owner, const std::string& caption, const std::string& text, TMsgIcon icon,
                  TMsgDefault preset) override;
    void ShowFailure(HWND owner, const std::string& text) override;
    bool ChooseFile(HWND owner, TOpenFile& file) override;
    bool ChooseSaveFile(HWND owner, const std::string& caption, std::wstring& fileName) override;
    void ShowAbout(HWND owner) override;
};

// The application's title: the task bar's text and the failure boxes' caption.
inline constexpr const char* ApplicationTitle = "Vell Writer 1.0";
// A failure's message as its box shows it: a period appended when the last character comes
// after "." in character-code order (a letter or digit does, a closing parenthesis does not).
std::string FailureText(const std::string& message);
