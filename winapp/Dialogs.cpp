#include "winapp/Dialogs.h"

#include "external/WinText.h"
#include "winapp/AboutBox.h"
#include "winapp/WinApi.h"

#include <vector>

namespace {

UINT IconStyle(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Warning: return MB_ICONWARNING;
    case TMsgIcon::Question: return MB_ICONQUESTION;
    case TMsgIcon::Error: return MB_ICONERROR;
    case TMsgIcon::Information: return MB_ICONINFORMATION;
    }
    return 0;
}

// The filter as the dialog takes it: pairs of NUL-ended texts, and one NUL more at the end.
std::wstring Filter(const wchar_t* text) {
    std::wstring filter(text);
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    return filter;
}

} // namespace

std::string FailureText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

bool TSystemDialogs::AskYesNo(HWND owner, const std::string& caption, const std::string& text,
                              TMsgIcon icon, TMsgDefault preset) {
    const UINT button = preset == TMsgDefault::No ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
    return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(),
                       MB_YESNO | button | IconStyle(icon)) == IDYES;
}

void TSystemDialogs::ShowFailure(HWND owner, const std::string& text) {
    MessageBoxW(owner, Widen(text).c_str(), Widen(ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

bool TSystemDialogs::ChooseFile(HWND owner, TOpenFile& file) {
    // Room for a long path; the dialog never writes past it.
    std::vector<wchar_t> name(32768, L'\0');
    file.FileName.copy(name.data(), name.size() - 1);
    const std::wstring filter =
        Filter(L"Dat files|*.dat|Bin files|*.bin|RCU files|*.Rcu|All files|*.*|");
    OPENFILENAMEW dialog{};
    // The size of the structure as the oldest supported Windows knows it.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = DWORD(file.FilterIndex);
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = DWORD(name.size());
    dialog.lpstrInitialDir = file.InitialDir.empty() ? nullptr : file.InitialDir.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                   OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog))
        return false;
    file.FileName = name.data();
    file.FilterIndex = int(dialog.nFilterIndex);
    return true;
}

bool TSystemDialogs::ChooseSaveFile(HWND owner, const std::string& caption,
                                    std::wstring& fileName) {
    std::vector<wchar_t> name(32768, L'\0');
    fileName.copy(name.data(), name.size() - 1);
    const std::wstring filter = Filter(L"Text files (*.txt)|*.txt|All files (*.*)|*.*|");
    const std::wstring title = Widen(caption);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = DWORD(name.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT |
                   OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog))
        return false;
    fileName = name.data();
    return true;
}

void TSystemDialogs::ShowAbout(HWND owner) {
    ShowAboutBox(owner);
}
