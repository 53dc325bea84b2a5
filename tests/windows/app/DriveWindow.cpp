// Drives Vell Writer's Windows window from outside, as a person at the screen would: a Linux
// test runs it under Wine beside VellWriter.exe. Each argument is one command, run in order;
// each prints one line of what it saw, and the first that fails ends the program with exit
// status 1 (2 for a command it does not know). Every wait gives up after 30 seconds.
//
//   settings COMn           the user's settings: port COMn (by its place in the port list,
//                           which the window fills the same way) and the built options
//   click N                 ToolButtonN's command to the main window (posted: a handler that
//                           shows a box does not hold the driver)
//   answer CAPTION BUTTON   the next message box of the main window captioned CAPTION: prints
//                           its text, presses BUTTON (Yes, No or OK) and waits until it is gone
//   open PATH               the open-file dialog of the main window: PATH as its file name, Open
//   wait PAGE TEXT          until the log of page PAGE (0..2) contains TEXT
//   lamp N [on|off]         ComLedN's state; with on or off, waits until it is so
//   close                   closes the main window and waits until it is gone
//
// Texts are printed in UTF-8 with "%" as "%25", a line feed as "%0A", a carriage return as
// "%0D". Single-threaded.

#include "serial/EnumComPorts.h"
#include "winapp/ControlIds.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <algorithm>
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr DWORD PatienceMs = 30000;
constexpr int FileNameCombo = 0x47c; // cmb13 of the file dialogs
constexpr int FileNameEdit = 0x480;  // edt1
constexpr int MessageBoxText = 0xffff;

std::string Utf8(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(size_t(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

// One line on standard output, written at once: the test reads it as it comes.
void Say(const std::string& line) {
    std::string text;
    for (char c : line)
        text += c == '%' ? "%25" : c == '\n' ? "%0A" : c == '\r' ? "%0D" : std::string(1, c);
    text += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &written, nullptr);
}

bool Fail(const std::string& why) {
    Say("fail " + why);
    return false;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A message to another program's window, bounded: a window that does not answer within five
// seconds gives 0.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
        return 0;
    return LRESULT(result);
}

std::wstring TextOf(HWND window) {
    const LRESULT length = Ask(window, WM_GETTEXTLENGTH);
    std::wstring text(size_t(std::max<LRESULT>(length, 0)) + 1, L'\0');
    text.resize(size_t(Ask(window, WM_GETTEXT, text.size(), LPARAM(text.data()))));
    return text;
}

// Until `ready` holds, looking every 50 ms; false when the patience has run out.
bool Until(const std::function<bool()>& ready) {
    for (const DWORD start = GetTickCount(); !ready();) {
        if (GetTickCount() - start > PatienceMs)
            return false;
        Sleep(50);
    }
    return true;
}

struct TSearch {
    const std::function<bool(HWND)>& match;
    std::vector<HWND> found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<TSearch*>(data);
    if (search.match(window))
        search.found.push_back(window);
    return TRUE;
}

// The descendants of `parent`, or the top-level windows when it is null, that `match` takes.
std::vector<HWND> Windows(HWND parent, const std::function<bool(HWND)>& match) {
    TSearch search{match, {}};
    const WNDENUMPROC visit = Visit;
    if (parent != nullptr)
        EnumChildWindows(parent, visit, LPARAM(&search));
    else
        EnumWindows(visit, LPARAM(&search));
    return search.found;
}

// The control `id` of `parent`, waited for: the window may still be building its controls.
HWND Control(HWND parent, int id) {
    HWND control = nullptr;
    Until([&] {
        const auto found = Windows(parent, [id](HWND w) { return GetDlgCtrlID(w) == id; });
        control = found.empty() ? nullptr : found.front();
        return parent == nullptr || control != nullptr;
    });
    return control;
}

HWND MainWindow() {
    static HWND main = nullptr;
    if (main == nullptr || !IsWindow(main))
        Until([] { return (main = FindWindowW(WinIds::MainWindowClass, nullptr)) != nullptr; });
    return main;
}

// The shown dialogs that the main window owns and `match` takes.
HWND OwnedDialog(const std::function<bool(HWND)>& match) {
    const HWND main = MainWindow();
    if (main == nullptr)
        return nullptr;
    const auto found = Windows(nullptr, [&](HWND w) {
        return ClassOf(w) == L"#32770" && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == main &&
               match(w);
    });
    return found.empty() ? nullptr : found.front();
}

// The dialog's text as a person reads it: its caption, and the message of a message box.
std::string Describe(HWND dialog) {
    std::string description = "\"";
    description.append(Utf8(TextOf(dialog))).append("\"");
    if (const HWND text = GetDlgItem(dialog, MessageBoxText))
        description.append(" ").append(Utf8(TextOf(text)));
    return description;
}

// A failure, with the dialogs the main window shows at the moment (an error box, a question).
bool FailWithDialogs(const std::string& why) {
    std::string seen;
    OwnedDialog([&](HWND w) {
        seen += " [box " + Describe(w) + "]";
        return false;
    });
    return Fail(why + seen);
}

bool Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
    return Until([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }) ||
           FailWithDialogs("the dialog " + Describe(dialog) + " stayed");
}

bool Settings(const std::string& port) {
    std::vector<std::string> ports;
    EnumComPorts(ports);
    const auto place = std::find(ports.begin(), ports.end(), port);
    if (place == ports.end())
        return Fail(port + " is not among the " + std::to_string(ports.size()) + " ports listed");
    const std::pair<const wchar_t*, DWORD> values[] = {{L"ComPort", DWORD(place - ports.begin())},
                                                       {L"FullCom", 0},
                                                       {L"ComStatus", 1},
                                                       {L"ConfLoad", 1},
                                                       {L"Freeze", 1},
                                                       {L"Startup", 0},
                                                       {L"Delay", 500}};
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VellWriter", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return Fail("cannot open HKCU\\Software\\VellWriter");
    bool written = true;
    for (const auto& [name, value] : values)
        written &= RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value) == ERROR_SUCCESS;
    const std::wstring name = Wide(port); // where the window also keeps the port's name
    written &=
        RegSetValueExW(key, L"ComPortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                       DWORD((name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!written)
        return Fail("cannot write the settings");
    Say("settings " + port + " at " + std::to_string(place - ports.begin()));
    return true;
}

bool Click(int number) {
    const HWND main = MainWindow();
    if (main == nullptr)
        return Fail("no main window");
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(WinIds::ToolButton(number), BN_CLICKED), 0);
    Say("clicked " + std::to_string(number));
    return true;
}

bool Answer(const std::string& caption, const std::string& button) {
    const int id = button == "Yes" ? IDYES : button == "No" ? IDNO : button == "OK" ? IDOK : 0;
    if (id == 0)
        return Fail("no button " + button);
    HWND box = nullptr;
    if (!Until([&] {
            return (box = OwnedDialog([&](HWND w) { return Utf8(TextOf(w)) == caption; })) !=
                   nullptr;
        }))
        return FailWithDialogs("no box captioned \"" + caption + "\"");
    Say("box " + Describe(box));
    return Press(box, id);
}

bool Open(const std::string& path) {
    HWND dialog = nullptr;
    HWND field = nullptr;
    if (!Until([&] {
            dialog = OwnedDialog([&](HWND w) {
                field = GetDlgItem(w, FileNameCombo);
                field = field ? field : GetDlgItem(w, FileNameEdit);
                if (field == nullptr) { // a dialog of another make: its first edit box
                    const auto edits = Windows(w, [](HWND c) { return ClassOf(c) == L"Edit"; });
                    field = edits.empty() ? nullptr : edits.front();
                }
                return field != nullptr;
            });
            return dialog != nullptr;
        }))
        return FailWithDialogs("no open-file dialog");
    Say("dialog " + Describe(dialog));
    Ask(field, WM_SETTEXT, 0, LPARAM(Wide(path).c_str()));
    return Press(dialog, IDOK);
}

bool Wait(int page, const std::string& text) {
    const HWND log = Control(MainWindow(), WinIds::RichEdit(page));
    if (log == nullptr)
        return Fail("no log on page " + std::to_string(page));
    const std::wstring wanted = Wide(text);
    if (!Until([&] { return TextOf(log).find(wanted) != std::wstring::npos; }))
        return FailWithDialogs("the log of page " + std::to_string(page) + " lacks \"" + text +
                               "\"; it reads: " + Utf8(TextOf(log)));
    Say("log " + std::to_string(page) + " has " + text);
    return true;
}

bool Lamp(int number, const std::string& wanted) {
    const HWND lamp = Control(MainWindow(), WinIds::ComLed(number));
    if (lamp == nullptr)
        return Fail("no lamp " + std::to_string(number));
    const auto state = [lamp] { return Ask(lamp, WinIds::LampGetState) ? "on" : "off"; };
    if (!wanted.empty() && !Until([&] { return wanted == state(); }))
        return Fail("lamp " + std::to_string(number) + " stays " + state());
    Say("lamp " + std::to_string(number) + " " + state());
    return true;
}

bool Close() {
    const HWND main = MainWindow();
    if (main == nullptr)
        return Fail("no main window");
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!Until([main] { return !IsWindow(main); }))
        return FailWithDialogs("the main window stays");
    Say("closed");
    return true;
}

// The command's first word, and the rest after one space.
std::pair<std::string, std::string> Split(const std::string& text) {
    const size_t space = text.find(' ');
    if (space == std::string::npos)
        return {text, ""};
    return {text.substr(0, space), text.substr(space + 1)};
}

int Number(const std::string& text) {
    return text.empty() || text.find_first_not_of("0123456789") != std::string::npos
               ? -1
               : std::stoi(text.substr(0, 6));
}

int Run(const std::string& command) {
    const auto [verb, rest] = Split(command);
    const auto [first, second] = Split(rest);
    bool done = false;
    if (verb == "settings")
        done = Settings(rest);
    else if (verb == "click" && Number(rest) > 0)
        done = Click(Number(rest));
    else if (verb == "answer")
        done = Answer(first, second); // captions of one word: "Attention", "Question..."
    else if (verb == "open")
        done = Open(rest);
    else if (verb == "wait" && Number(first) >= 0 && Number(first) <= 2)
        done = Wait(Number(first), second);
    else if (verb == "lamp" && Number(first) > 0)
        done = Lamp(Number(first), second);
    else if (verb == "close")
        done = Close();
    else
        return Fail("unknown command: " + command), 2;
    return done ? 0 : 1;
}

} // namespace

int wmain(int count, wchar_t** arguments) {
    for (int i = 1; i < count; ++i)
        if (const int status = Run(Utf8(arguments[i])); status != 0)
            return status;
    return 0;
}
