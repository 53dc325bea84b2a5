// The main window's construction, its message handling, and exit and close. What it offers
// the receiver dialogue is in MainWindowDialogue.cpp.

#include "winapp/MainWindow.h"

#include "external/WinText.h"
#include "receiver/ReceiverLine.h"
#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "winapp/ControlIds.h"
#include "winapp/HandOver.h"
#include "winapp/Layout.h"
#include "winapp/Pictures.h"
#include "winapp/WinApi.h"

#include <string>

using Layout::Px;

namespace {

const wchar_t* const PageCaptions[4] = {L"Flash", L"Firmware", L"Eeprom", L"Configuration"};

// The program's own folder, with a trailing separator.
std::string ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    path.resize(length < path.size() ? length : 0);
    const size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1));
}

} // namespace

void TSDIAppForm::RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW main{};
    main.cbSize = sizeof(main);
    main.lpfnWndProc = WindowProc;
    main.hInstance = instance;
    main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    main.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    main.lpszClassName = WinIds::MainWindowClass;
    RegisterClassExW(&main);

    WNDCLASSW sheet{};
    sheet.lpfnWndProc = SheetProc;
    sheet.hInstance = instance;
    sheet.hCursor = main.hCursor;
    sheet.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    sheet.lpszClassName = WinIds::TabSheetClass;
    RegisterClassW(&sheet);

    TLamp::RegisterWindowClass(instance);
}

TSDIAppForm::TSDIAppForm(TWinServices& services)
    : m_services(services), m_dialogue(*this, services.Windows, services.Files) {
    BuildControls();
    InstallWinHandOver(m_window, m_services.Dialogs);
    CheckBox2Click();

    const std::string appDir = ProgramFolder();
    m_dialogue.SetAppDir(appDir);
    OpenDialog.InitialDir = Widen(appDir);

    // A failure while the window is built is shown, and the window starts anyway: with the
    // settings read so far (the defaults after them) and the port closed.
    Guarded([this] { LoadSettings(); });
    if (m_configuration->OpenAtStartupBox() && m_keptOptions.MissingPortName().empty())
        Guarded([this] { m_dialogue.ToolButton1Click(); });
}

TSDIAppForm::~TSDIAppForm() {
    // The window is gone: the port's last reports (lines off, port closed, the last bytes
    // served while the close waits for its thread) find no logs, and a failure on the way
    // is written, not shown in a box that nobody would see and the exit would wait for.
    m_tearingDown = true;
    RemoveWinHandOver();
    for (std::unique_ptr<TWorkPage>& page : m_pages)
        for (int lamp = 0; lamp < 5; ++lamp)
            page->Lamp(lamp).SetComPort(nullptr);
    try {
        delete Dec; // closes the port
    } catch (...) {
        WriteFailureToStderr();
    }
    Dec = nullptr;
    for (std::unique_ptr<TWorkPage>& page : m_pages)
        page.reset();
    if (IsWindow(m_window)) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
    ImageList_Destroy(ImageList1);
    ImageList_Destroy(m_greyedImages);
    ImageList_Destroy(m_lampImages);
    for (HICON icon : m_icons)
        if (icon != nullptr)
            DestroyIcon(icon);
}

void TSDIAppForm::BuildPort() {
    Dec = new TComPort(nullptr);
    Dec->SetName("Dec");
    SetReceiverLine(*Dec);
    // Its handlers run inside the port's dispatch, which reports what they throw.
    Dec->OnAfterOpen = [this](TObject*) { m_dialogue.DecAfterOpen(); };
    Dec->OnAfterClose = [this](TObject*) { m_dialogue.DecAfterClose(); };
    Dec->OnRxChar = [this](TObject*, int32_t count) { m_dialogue.DecRxChar(count); };
}

void TSDIAppForm::BuildControls() {
    BuildPort();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_window = CreateWindowExW(0, WinIds::MainWindowClass, L"Vell Writer 1.0.1",
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                               Px(520), Px(416), nullptr, nullptr, instance, this);
    m_icons[0] = Pictures::MakeApplicationIcon(GetSystemMetrics(SM_CXICON));
    m_icons[1] = Pictures::MakeApplicationIcon(GetSystemMetrics(SM_CXSMICON));
    SendMessageW(m_window, WM_SETICON, ICON_BIG, LPARAM(m_icons[0]));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, LPARAM(m_icons[1]));

    PageControl1 = Layout::Child(m_window, WC_TABCONTROLW, L"", WS_CLIPSIBLINGS | WS_TABSTOP,
                                 WinIds::PageControl1);
    for (int index = 0; index < 4; ++index) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(PageCaptions[index]);
        SendMessageW(PageControl1, TCM_INSERTITEMW, WPARAM(index), LPARAM(&item));
        // Not clipping its controls: a group box leaves its inside to the page to paint.
        TabSheets[size_t(index)] =
            CreateWindowExW(WS_EX_CONTROLPARENT, WinIds::TabSheetClass, PageCaptions[index],
                            WS_CHILD | (index == 0 ? WS_VISIBLE : 0), 0, 0, 0, 0, m_window,
                            HMENU(INT_PTR(WinIds::TabSheet(index))), instance, nullptr);
    }
    // The tool-bar pictures are 32 pixels, 64 on a screen of twice the density or more.
    const int pictureSize = Px(32) >= 64 ? 64 : 32;
    ImageList1 = Pictures::MakeToolBarImages(pictureSize);
    m_greyedImages = Pictures::MakeToolBarImages(pictureSize, true);
    m_lampImages = Pictures::MakeLampImages();
    const TPageImages images{ImageList1, m_greyedImages, m_lampImages};
    for (int index = 0; index < 3; ++index) {
        m_pages[size_t(index)] =
            std::make_unique<TWorkPage>(TabSheets[size_t(index)], index, images, *Dec);
        m_pages[size_t(index)]->Log().OfferSaving(m_services.Dialogs);
    }
    m_configuration =
        std::make_unique<TConfigurationPage>(TabSheets[3], *Dec, m_services.ListPorts);
    m_configuration->ComStatusClicked = [this] { CheckBox2Click(); };
    m_configuration->PortList().OnChange = [this] { m_dialogue.DecPortChange(); };
    // The DSR and RLSD lamps of the Flash page tell the receiver's switching on and off.
    m_pages[0]->Lamp(2).OnChange = [this](TObject*, TLedState state) {
        m_dialogue.ComLed3Change(state == lsOn);
    };
    m_pages[0]->Lamp(4).OnChange = [this](TObject*, TLedState state) {
        m_dialogue.ComLed5Change(state == lsOn);
    };

    StatusBar =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                        0, m_window, HMENU(INT_PTR(WinIds::StatusBar)), instance, nullptr);
    SendMessageW(StatusBar, WM_SETFONT, WPARAM(Layout::DialogFont()), FALSE);
    const int edges[2] = {Px(150), Px(150 + 250)};
    SendMessageW(StatusBar, SB_SETPARTS, 2, LPARAM(edges));
    SendMessageW(StatusBar, SB_SETTEXTW, 0, LPARAM(L"Model: Unknown"));
    SendMessageW(StatusBar, SB_SETTEXTW, 1, LPARAM(L"Operation:"));
    Resize();
}

void TSDIAppForm::Resize() {
    RECT client;
    GetClientRect(m_window, &client);
    SendMessageW(StatusBar, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(StatusBar, &status);
    const int statusHeight = status.bottom - status.top;
    const int gap = Px(2);
    RECT tabs{gap, gap, client.right - gap, client.bottom - statusHeight - gap};
    MoveWindow(PageControl1, tabs.left, tabs.top, tabs.right - tabs.left, tabs.bottom - tabs.top,
               TRUE);
    RECT display{0, 0, tabs.right - tabs.left, tabs.bottom - tabs.top};
    SendMessageW(PageControl1, TCM_ADJUSTRECT, FALSE, LPARAM(&display));
    OffsetRect(&display, tabs.left, tabs.top);
    for (HWND sheet : TabSheets)
        SetWindowPos(sheet, HWND_TOP, display.left, display.top, display.right - display.left,
                     display.bottom - display.top, 0);
    for (std::unique_ptr<TWorkPage>& page : m_pages)
        page->Resize(display.right - display.left, display.bottom - display.top);
}

void TSDIAppForm::ShowPage(int index) {
    for (int i = 0; i < 4; ++i)
        ShowWindow(TabSheets[size_t(i)], i == index ? SW_SHOW : SW_HIDE);
}

bool TSDIAppForm::Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        ReportCurrentException(m_window, m_services.Dialogs);
        return false;
    }
}

void TSDIAppForm::Command(int id, int code) {
    for (int page = 0; page < 3; ++page) {
        const std::optional<TButtonRole> role = m_pages[size_t(page)]->RoleOf(id);
        if (!role)
            continue;
        // Disabled buttons send nothing when clicked; a command sent from outside must not
        // run what a person could not.
        if (!m_pages[size_t(page)]->Clickable(*role))
            return;
        switch (*role) {
        case brPort:
            // The button toggled itself; the dialogue decides whether it stays down.
            Guarded([this] { m_dialogue.ToolButton1Click(); });
            break;
        case brChoose: Guarded([this] { FileOpen1Execute(); }); break;
        case brClear: Guarded([this] { ToolButton20Click(); }); break;
        case brProgram: Guarded([this, page] { m_dialogue.ToolButton16Click(page); }); break;
        case brErase: Guarded([this] { m_dialogue.ToolButton19Click(); }); break;
        case brExit: Guarded([this] { FileExit1Execute(); }); break;
        }
        return;
    }
    if (id == WinIds::CheckBox(2) && code == BN_CLICKED)
        Guarded([this] { CheckBox2Click(); });
    else if (id == WinIds::DecPort && code == CBN_SELCHANGE)
        Guarded([this] { m_configuration->PortList().Picked(); });
}

LRESULT TSDIAppForm::Notify(const NMHDR& header) {
    if (header.idFrom == UINT_PTR(WinIds::Spin1Arrows) && header.code == UDN_DELTAPOS) {
        // The arrows step from the text as typed, which the control itself would not read
        // when it is not a plain number; the control's own step is refused.
        m_configuration->StepDelay(reinterpret_cast<const NMUPDOWN&>(header).iDelta);
        return TRUE;
    }
    if (header.hwndFrom != PageControl1)
        return 0;
    if (header.code == TCN_SELCHANGING) {
        bool allow = false;
        Guarded([this, &allow] { allow = m_dialogue.PageControl1Changing(); });
        return allow ? FALSE : TRUE; // TRUE keeps the page
    }
    if (header.code == TCN_SELCHANGE)
        ShowPage(int(SendMessageW(PageControl1, TCM_GETCURSEL, 0, 0)));
    return 0;
}

LRESULT TSDIAppForm::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: Resize(); return 0;
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == WinIds::Timer1 && m_timerRunning[0])
            Guarded([this] { m_dialogue.Timer1Timer(); });
        else if (wParam == WinIds::Timer2 && m_timerRunning[1])
            Guarded([this] { m_dialogue.Timer2Timer(); });
        return 0;
    case WinIds::ServeHandOvers: ServeHandOvers(); return 0;
    case ReportFailureMessage: ReportPostedFailure(wParam); return 0;
    case WM_CLOSE:
        if (FormClose())
            DestroyWindow(m_window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

LRESULT CALLBACK TSDIAppForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TSDIAppForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Until the window is fully made (and after it is taken apart) only the defaults apply.
    if (form == nullptr || form->m_window != window || form->m_configuration == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return form->Handle(message, wParam, lParam);
}

// The pages pass their controls' commands and notices on to the main window.
LRESULT CALLBACK TSDIAppForm::SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_NOTIFY) {
        if (message == WM_NOTIFY) {
            // The tool bars' tool tips are theirs to answer.
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == TTN_GETDISPINFOW)
                return DefWindowProcW(window, message, wParam, lParam);
        }
        return SendMessageW(GetParent(window), message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// --- Exit and close --------------------------------------------------------------------------

void TSDIAppForm::FileExit1Execute() {
    SaveSettings();
    m_dialogue.CloseExternalWindow();
    SendMessageW(m_window, WM_CLOSE, 0, 0);
}

bool TSDIAppForm::FormClose() {
    // A failing save keeps the window open once, so that nothing the user set is lost
    // unnoticed; closing again, the user has been told and leaves without saving.
    const bool saved = Guarded([this] {
        m_dialogue.CloseExternalWindow();
        SaveSettings();
    });
    if (saved || m_closeRefused)
        return true;
    m_closeRefused = true;
    return false;
}

// --- Small handlers --------------------------------------------------------------------------

// Only the Flash page's lamps hide; hidden, they still follow their lines.
void TSDIAppForm::CheckBox2Click() {
    m_pages[0]->ShowLampPanel(m_configuration->ShowComStatusBox());
}

void TSDIAppForm::ToolButton20Click() {
    m_dialogue.ActivePageLog()->Clear();
}

void TSDIAppForm::HelpAbout1Execute() {
    m_services.Dialogs.ShowAbout(m_window);
}

void TSDIAppForm::FileOpen1Execute() {
    const int32_t kind = ActivePage();
    OpenDialog.FileName = Widen(m_dialogue.ImageFileName());
    if (!m_services.Dialogs.ChooseFile(m_window, OpenDialog))
        return;
    const bool taken = m_dialogue.ChooseImage(kind, Narrow(OpenDialog.FileName));
    OpenDialog.FileName = Widen(m_dialogue.ImageFileName());
    // The next dialog opens in the folder of this file.
    if (const std::string folder = TReceiverDialogue::ImageFolder(m_dialogue.ImageFileName());
        taken && !folder.empty())
        OpenDialog.InitialDir = Widen(folder);
}

void TSDIAppForm::LoadSettings() {
    m_configuration->PortList().Refill(); // the system's ports as they are now
    m_keptOptions.Load(m_services.Settings, *m_configuration, *m_dialogue.ActivePageLog());
}

void TSDIAppForm::SaveSettings() {
    m_keptOptions.Save(m_services.Settings, *m_configuration);
}
