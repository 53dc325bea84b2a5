// The Windows window in this process, driven by window messages as a person's clicks send them
// and read back through its controls: the tool buttons, check boxes, pages, the delay's arrows
// and the port list; the logs' text and colours and their context menu, the lamps, what is
// enabled; the settings kept in the registry across a restart; a port that will not open; a
// log saved, or its target refused. Built for Windows; run under Wine from the Linux build.

#include "external/WinText.h"
#include "serial/ComPort.h"
#include "system/RegistryStore.h"
#include "system/WinImageFiles.h"
#include "tests/support/FakeWindows.h"
#include "winapp/AboutBox.h"
#include "winapp/ControlIds.h"
#include "winapp/Dialogs.h"
#include "winapp/MainWindow.h"
#include "winapp/WinApi.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Answers the window's boxes as told and records what they showed.
struct TAnsweringDialogs final : TWinDialogs {
    std::vector<std::string> shown; // "caption|text", failures as "failure|text"
    bool answer = true;
    std::wstring chosenFile; // what the open dialog gives; empty: cancelled
    bool AskYesNo(HWND, const std::string& caption, const std::string& text, TMsgIcon,
                  TMsgDefault) override {
        shown.push_back(caption + "|" + text);
        return answer;
    }
    void ShowFailure(HWND, const std::string& text) override { shown.push_back("failure|" + text); }
    bool ChooseFile(HWND, TOpenFile& file) override {
        file.FileName = chosenFile;
        return !chosenFile.empty();
    }
    std::wstring savedFile; // what the save dialog gives; empty: cancelled
    bool ChooseSaveFile(HWND, const std::string& caption, std::wstring& fileName) override {
        shown.push_back("save|" + caption);
        fileName = savedFile;
        return !savedFile.empty();
    }
    void ShowAbout(HWND owner) override { ShowAboutBox(owner); }
};

std::wstring Text(HWND control) {
    std::wstring text(size_t(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(control, text.data(), int(text.size()))));
    return text;
}

// The colour of the first character of a log's line.
COLORREF LineColor(HWND edit, int line) {
    const LONG start = LONG(SendMessageW(edit, EM_LINEINDEX, WPARAM(line), 0));
    CHARRANGE range{start, start + 1};
    SendMessageW(edit, EM_EXSETSEL, 0, LPARAM(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    return format.crTextColor;
}

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        LoadLibraryW(L"riched20.dll");
        TSDIAppForm::RegisterClasses(GetModuleHandleW(nullptr));
    }
    void SetUp() override {
        // A registry root of this test's own, under the test prefix's user.
        m_rootName = L"Software\\VellWriterWindowTest\\" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + std::to_wstring(++m_count);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_rootName.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &m_root, nullptr),
                  ERROR_SUCCESS);
        m_store = std::make_unique<TRegistryStore>(m_root);
    }
    void TearDown() override {
        m_form.reset();
        m_store.reset();
        RegCloseKey(m_root);
        SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VellWriterWindowTest");
    }
    TSDIAppForm& Start() {
        m_form.reset();
        // A window closed before leaves its quit message, which would end every modal loop.
        MSG left;
        while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
        }
        m_services = std::make_unique<TWinServices>(
            TWinServices{m_dialogs, *m_store, m_windows, SystemImageFiles(),
                         [this](std::vector<std::string>& ports) { ports = m_ports; }});
        m_form = std::make_unique<TSDIAppForm>(*m_services);
        return *m_form;
    }
    HWND Control(int id) const { return FindDeep(m_form->Handle(), id); }
    static HWND FindDeep(HWND parent, int id) {
        for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (GetDlgCtrlID(child) == id)
                return child;
            if (HWND found = FindDeep(child, id))
                return found;
        }
        return nullptr;
    }
    // A click on a tool button as the tool bar sends it.
    void Click(int button) {
        const HWND bar = Control(WinIds::ToolBar(PageOf(button)));
        SendMessageW(GetParent(bar), WM_COMMAND, MAKEWPARAM(WinIds::ToolButton(button), BN_CLICKED),
                     LPARAM(bar));
    }
    static int PageOf(int button) {
        for (int n : {1, 3, 20, 16, 19, 4})
            if (n == button)
                return 0;
        for (int n : {5, 7, 23, 17, 24, 8})
            if (n == button)
                return 1;
        return 2;
    }
    bool ButtonEnabled(int button) {
        return SendMessageW(Control(WinIds::ToolBar(PageOf(button))), TB_ISBUTTONENABLED,
                            WPARAM(WinIds::ToolButton(button)), 0) != 0;
    }
    DWORD Stored(const wchar_t* name) {
        DWORD value = 0xDEAD, size = sizeof(value), type = 0;
        const std::wstring key = m_rootName + L"\\Software\\VellWriter";
        SHGetValueW(HKEY_CURRENT_USER, key.c_str(), name, &type, &value, &size);
        return type == REG_DWORD ? value : 0xDEAD;
    }

    TAnsweringDialogs m_dialogs;
    TFakeWindows m_windows;
    std::unique_ptr<TRegistryStore> m_store;
    std::vector<std::string> m_ports{"COM3", "COM7"};
    std::unique_ptr<TWinServices> m_services;
    std::unique_ptr<TSDIAppForm> m_form;
    HKEY m_root = nullptr;
    std::wstring m_rootName;
    static inline int m_count = 0;
};

TEST_F(WindowTest, FirstStartShowsTheBuiltStateAndStoresTheDefaults) {
    TSDIAppForm& form = Start();
    EXPECT_EQ(Text(form.Handle()), L"Vell Writer 1.0.1");
    EXPECT_EQ(SendMessageW(Control(WinIds::PageControl1), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(GetWindowLongPtrW(Control(WinIds::TabSheet(0)), GWL_STYLE) & WS_VISIBLE);
    // Enabled at start: port, clear and exit; not: choose, program and erase. On every page.
    for (int button : {1, 20, 4, 5, 23, 8, 9, 27, 12})
        EXPECT_TRUE(ButtonEnabled(button)) << "ToolButton" << button;
    for (int button : {3, 16, 19, 7, 17, 24, 11, 18, 28})
        EXPECT_FALSE(ButtonEnabled(button)) << "ToolButton" << button;
    // "Show COM status" off: only the Flash page's lamps are hidden.
    EXPECT_FALSE(GetWindowLongPtrW(Control(WinIds::Panel(0)), GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongPtrW(Control(WinIds::Panel(1)), GWL_STYLE) & WS_VISIBLE);
    const int ticked[] = {0, 0, 1, 0, 1}; // CheckBox1..5
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(SendMessageW(Control(WinIds::CheckBox(n)), BM_GETCHECK, 0, 0), ticked[n - 1]);
    EXPECT_EQ(Text(Control(WinIds::Spin1)), L"500");
    EXPECT_EQ(Text(Control(WinIds::DecPort)), L"COM3");
    EXPECT_EQ(form.Port().Port(), "COM3");
    const struct {
        const wchar_t* name;
        DWORD value;
    } defaults[] = {{L"ComPort", 0}, {L"FullCom", 0}, {L"ComStatus", 0}, {L"ConfLoad", 1},
                    {L"Freeze", 1},  {L"Startup", 0}, {L"Delay", 500}};
    for (const auto& value : defaults)
        EXPECT_EQ(Stored(value.name), value.value) << value.name;
    // Five lamps a page, dark, in their colours.
    const int kinds[] = {2, 0, 3, 4, 1}; // blue, red, yellow, purple, green
    for (int n = 1; n <= 15; ++n) {
        EXPECT_EQ(SendMessageW(Control(WinIds::ComLed(n)), WinIds::LampGetState, 0, 0), 0);
        EXPECT_EQ(SendMessageW(Control(WinIds::ComLed(n)), WinIds::LampGetKind, 0, 0),
                  kinds[(n - 1) % 5]);
    }
}

TEST_F(WindowTest, OptionsAndPortChoiceSurviveARestartThroughTheRegistry) {
    Start();
    // Ticks as clicks, the delay as typed and stepped by its arrow, a port picked in the list.
    for (int n : {1, 2, 4, 5})
        SendMessageW(Control(WinIds::CheckBox(n)), BM_CLICK, 0, 0);
    EXPECT_TRUE(GetWindowLongPtrW(Control(WinIds::Panel(0)), GWL_STYLE) & WS_VISIBLE);
    SetWindowTextW(Control(WinIds::Spin1), L" 41 ");
    SendMessageW(Control(WinIds::Spin1Arrows), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(Control(WinIds::Spin1Arrows), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(Text(Control(WinIds::Spin1)), L"42");
    SendMessageW(Control(WinIds::DecPort), CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(Control(WinIds::DecPort)), WM_COMMAND,
                 MAKEWPARAM(WinIds::DecPort, CBN_SELCHANGE), LPARAM(Control(WinIds::DecPort)));
    EXPECT_EQ(m_form->Port().Port(), "COM7");
    SendMessageW(m_form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(m_form->Handle()));

    Start();
    const int ticked[] = {1, 1, 1, 1, 0};
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(SendMessageW(Control(WinIds::CheckBox(n)), BM_GETCHECK, 0, 0), ticked[n - 1])
            << "CheckBox" << n;
    EXPECT_EQ(Text(Control(WinIds::Spin1)), L"42");
    EXPECT_EQ(Text(Control(WinIds::DecPort)), L"COM7");
    EXPECT_EQ(Stored(L"Delay"), 42u);
    // "Open port at startup" was stored: the port that will not open is told in a box.
    ASSERT_FALSE(m_dialogs.shown.empty());
    EXPECT_EQ(m_dialogs.shown.back().rfind("failure|", 0), 0u) << m_dialogs.shown.back();
}

TEST_F(WindowTest, APortThatWillNotOpenIsToldAndTheButtonsStayUp) {
    m_ports = {"COM200"}; // no such port
    Start();
    Click(1);
    // The port layer's message in the application's failure box.
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].rfind("failure|", 0), 0u) << m_dialogs.shown[0];
    for (int button : {1, 5, 9})
        EXPECT_EQ(SendMessageW(Control(WinIds::ToolBar(PageOf(button))), TB_ISBUTTONCHECKED,
                               WPARAM(WinIds::ToolButton(button)), 0),
                  0);
    EXPECT_FALSE(ButtonEnabled(3));
    // Disabled buttons do nothing, even when their command comes from outside: no file
    // dialog, no question, no line.
    m_dialogs.chosenFile = L"Z:\\no\\such.bin";
    const std::wstring before = Text(Control(WinIds::RichEdit(0)));
    for (int button : {3, 7, 11, 16, 17, 18, 19, 24, 28})
        Click(button);
    EXPECT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(Text(Control(WinIds::RichEdit(0))), before);
    Click(20); // clear, enabled

    EXPECT_EQ(Text(Control(WinIds::RichEdit(0))), L"");
}

TEST_F(WindowTest, LogsShowTheChoiceInItsColoursAndClearPerPage) {
    TSDIAppForm& form = Start();
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"vw", 0, path);
    std::ofstream(path, std::ios::binary) << std::string(524288, 'x');
    m_dialogs.chosenFile = path;
    form.FileOpen1Execute();
    const HWND flash = Control(WinIds::RichEdit(0));
    const std::wstring text = Text(flash);
    EXPECT_NE(text.find(L"Ready to load flash with file " + std::wstring(path)), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_EQ(LineColor(flash, 0), COLORREF(0xFF0000)); // clBlue
    EXPECT_EQ(SendMessageW(flash, EM_GETLINECOUNT, 0, 0), 3);
    // A second choice on the same page withdraws the first in navy.
    form.FileOpen1Execute();
    EXPECT_EQ(LineColor(flash, 4), COLORREF(0x800000)) << "Delete last load command...";
    // Clearing works on the page in front only.
    Click(20);
    EXPECT_EQ(Text(flash), L"");
    DeleteFileW(path);
}

TEST_F(WindowTest, PagesChangeAsTheTabsAreClickedAndTheExitButtonLeaves) {
    TSDIAppForm& form = Start();
    const HWND tabs = Control(WinIds::PageControl1);
    for (int page : {3, 1, 2, 0}) {
        SendMessageW(tabs, TCM_SETCURFOCUS, WPARAM(page), 0);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), page);
        for (int sheet = 0; sheet < 4; ++sheet)
            EXPECT_EQ(
                bool(GetWindowLongPtrW(Control(WinIds::TabSheet(sheet)), GWL_STYLE) & WS_VISIBLE),
                sheet == page);
    }
    Click(12);
    EXPECT_FALSE(IsWindow(form.Handle()));
    EXPECT_EQ(Stored(L"ComPort"), 0u);
}

} // namespace

// --- The system's own boxes, answered from a timer while they are up --------------------------

namespace {

struct TSeenBox {
    std::wstring caption, texts;
    LRESULT defaultId = 0;
    int press = IDOK;
};
TSeenBox g_seen;

BOOL CALLBACK CollectText(HWND control, LPARAM) {
    g_seen.texts += Text(control) + L"|";
    return TRUE;
}

// Reads the box in front of this thread and presses g_seen.press on it.
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = GetActiveWindow();
    wchar_t name[16] = {};
    GetClassNameW(box, name, 16);
    if (std::wstring(name) != L"#32770")
        return; // not up yet
    KillTimer(nullptr, timer);
    g_seen.caption = Text(box);
    EnumChildWindows(box, CollectText, 0);
    // The default button is the one with the focus as the box opens.
    g_seen.defaultId = GetDlgCtrlID(GetFocus());
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_seen.press, BN_CLICKED), 0);
}

} // namespace

TEST_F(WindowTest, TheSystemBoxesShowTheirCaptionsTextsAndDefaults) {
    TSDIAppForm& form = Start();
    TSystemDialogs system;
    const struct {
        std::function<void()> show;
        int press;
        const wchar_t* caption;
        const wchar_t* text; // among the box's texts
        LRESULT defaultId;
    } boxes[] = {
        {[&] {
             EXPECT_FALSE(system.AskYesNo(form.Handle(), "Attention", "Continue anyway?",
                                          TMsgIcon::Warning, TMsgDefault::Yes));
         },
         IDNO, L"Attention", L"Continue anyway?|", IDYES},
        {[&] {
             EXPECT_TRUE(system.AskYesNo(form.Handle(), "Attention", "Go on regardless?",
                                         TMsgIcon::Warning, TMsgDefault::No));
         },
         IDYES, L"Attention", L"Go on regardless?|", IDNO},
        {[&] { system.ShowFailure(form.Handle(), "Unable to open com port."); }, IDOK,
         L"Vell Writer 1.0", L"Unable to open com port.|", IDOK},
        {[&] { system.ShowAbout(form.Handle()); }, IDOK, L"About",
         L"|Product Name|Version|Copyright|Comments|", IDOK},
    };
    for (const auto& box : boxes) {
        g_seen = {};
        g_seen.press = box.press;
        SetTimer(nullptr, 0, 20, AnswerBox);
        box.show();
        EXPECT_EQ(g_seen.caption, box.caption);
        EXPECT_NE(g_seen.texts.find(box.text), std::wstring::npos)
            << std::string(g_seen.texts.begin(), g_seen.texts.end());
        EXPECT_EQ(g_seen.defaultId, box.defaultId);
    }
}

TEST_F(WindowTest, ALogShowsExactlyTheLinesItKeepsWhateverIsDeleted) {
    Start();
    TRichLog& log = m_form->Page(1).Log();
    // As the run's text watch edits a log: the last line deleted and appended again, longer.
    log.Append("Received start string...");
    log.Append("\nPress the program button...");
    log.Append("Writing 25%");
    log.DeleteLine(log.LineCount() - 1);
    log.Append("Writing 25% Writing 50%\n");
    log.DeleteLine(log.LineCount() - 1);
    log.DeleteLine(0);
    log.AppendUtf8("Z:\\tmp\\fl\xC3\xA4sh.bin\x01");
    log.DeleteLine(1);
    log.DeleteLine(7); // out of range: ignored
    std::wstring kept;
    for (int i = 0; i < log.LineCount(); ++i) {
        kept += i > 0 ? L"\r" : L"";
        for (char c : log.Line(i)) // 8-bit: each byte its character
            kept += wchar_t(static_cast<unsigned char>(c));
    }
    std::wstring shown = Text(log.Handle());
    for (wchar_t& c : shown)
        c = c == L'\n' ? L'\r' : c == 0x2401 ? L'\x01' : c; // a control character's picture
    // Windows gives the breaks as CR LF; the control's own as CR.
    std::wstring single;
    for (size_t i = 0; i < shown.size(); ++i)
        if (!(shown[i] == L'\r' && i + 1 < shown.size() && shown[i + 1] == L'\r'))
            single += shown[i];
    EXPECT_EQ(log.LineCount(), 3);
    EXPECT_EQ(single, kept) << std::string(single.begin(), single.end());
}

namespace {

std::vector<std::wstring> g_menu; // the items of the menu that was up, "" for a separator

// Reads the popup menu in front of this thread, then closes it.
void CALLBACK ReadMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND shown = FindWindowW(L"#32768", nullptr);
    const auto menu = shown ? HMENU(SendMessageW(shown, MN_GETHMENU, 0, 0)) : nullptr;
    if (menu == nullptr)
        return; // not up yet
    KillTimer(nullptr, timer);
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, UINT(i), text, 64, MF_BYPOSITION);
        const bool greyed = text[0] && GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_GRAYED;
        g_menu.push_back(std::wstring(text) + (greyed ? L" (greyed)" : L"") +
                         (text[0] ? L" " + std::to_wstring(GetMenuItemID(menu, i)) : L""));
    }
    EndMenu();
}

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

// A log's context menu, by the mouse and by the keyboard, ends with "Save log as...", which
// writes the whole log as it holds it, UTF-8 with a line feed after each line; a target that
// is not a regular file of the user, nor a new one, is refused and left as it was.
TEST_F(WindowTest, SaveLogAsWritesTheWholeLogOrRefusesTheTarget) {
    Start();
    TRichLog& log = m_form->Page(2).Log();
    log.Append("Received start string...");
    log.Append(std::string("ctl \x01 deg \xB0", 11));
    log.AppendUtf8("Z:\\fl\xC3\xA4sh \xE2\x86\x92.bin");
    const std::string text = "Received start string...\nctl \x01 deg \xC2\xB0\n"
                             "Z:\\fl\xC3\xA4sh \xE2\x86\x92.bin\n";
    // Read back as 8-bit text, as before: what is not Latin-1 is "?".
    EXPECT_EQ(log.Line(1), std::string("ctl \x01 deg \xB0", 11));
    EXPECT_EQ(log.Line(2), "Z:\\fl\xE4sh ?.bin");
    const std::wstring save = L"Save log as... " + std::to_wstring(TRichLog::cmSaveLogAs);
    POINT inside{10, 10};
    ClientToScreen(log.Handle(), &inside);
    for (LPARAM at : {MAKELPARAM(inside.x, inside.y), LPARAM(-1)}) {
        g_menu.clear();
        SetTimer(nullptr, 0, 20, ReadMenu);
        SendMessageW(log.Handle(), WM_CONTEXTMENU, WPARAM(log.Handle()), at);
        EXPECT_EQ(g_menu,
                  (std::vector<std::wstring>{L"&Copy (greyed) 1", L"Select &All 2", L"", save}));
    }

    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("vw-save-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder / "sub");
    std::ofstream(folder / "old.txt") << "old";
    std::ofstream(folder / "locked.txt") << "locked";
    SetFileAttributesW((folder / "locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    struct TCase {
        std::filesystem::path target;
        std::string why; // empty: saved
        const char* before;
    };
    std::vector<TCase> cases = {
        {folder / "new.txt", "", nullptr},
        {folder / "old.txt", "", "old"},
        {folder / "sub", "it is not a regular file", nullptr},
        {L"NUL", "it is not a regular file", nullptr},
        {folder / "locked.txt", "it is read-only", "locked"},
    };
    // Links need Vista or later, and a Wine that makes them.
    const FARPROC makeLink =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW");
    const std::filesystem::path link = folder / "link.txt";
    if (makeLink != nullptr &&
        reinterpret_cast<BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD)>(
            reinterpret_cast<void*>(makeLink))(link.c_str(), (folder / "old.txt").c_str(), 0) &&
        GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        cases.push_back({link, "it is a link", nullptr});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.target.string());
        m_dialogs.shown.clear();
        m_dialogs.savedFile = c.target.wstring();
        SendMessageW(log.Handle(), WM_COMMAND, TRichLog::cmSaveLogAs, 0);
        ASSERT_FALSE(m_dialogs.shown.empty());
        EXPECT_EQ(m_dialogs.shown[0], "save|Save log as");
        if (c.why.empty()) {
            EXPECT_EQ(m_dialogs.shown.size(), 1u) << m_dialogs.shown.back();
            EXPECT_EQ(FileBytes(c.target), text);
            continue;
        }
        ASSERT_EQ(m_dialogs.shown.size(), 2u);
        EXPECT_EQ(m_dialogs.shown[1],
                  "failure|" + FailureText("The log was not saved to " +
                                           Narrow(c.target.wstring()) + ": " + c.why));
        if (c.before != nullptr) {
            EXPECT_EQ(FileBytes(c.target), c.before);
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder / "sub"));
    // Nothing is left beside the targets but what the table made.
    SetFileAttributesW((folder / "locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        entries += entry.path().filename().wstring().ends_with(L".part") ? 100 : 1;
    EXPECT_EQ(entries, int(cases.size()) - 1); // all but NUL
    std::filesystem::remove_all(folder);
}
