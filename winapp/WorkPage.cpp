#include "winapp/WorkPage.h"

#include "serial/ComPort.h"
#include "winapp/ControlIds.h"
#include "winapp/Layout.h"
#include "winapp/WinApi.h"

using Layout::Child;
using Layout::Px;

namespace {

// The buttons' numbers by page and role (ToolButton<n>).
constexpr int ButtonNumbers[3][6] = {
    {1, 3, 20, 16, 19, 4},
    {5, 7, 23, 17, 24, 8},
    {9, 11, 27, 18, 28, 12},
};

struct TRole {
    int image;
    const wchar_t* hint;
    bool enabledAtStart;
};
const TRole Roles[6] = {
    {4, L"Open or close the serial port", true},
    {0, L"Choose the image file", false},
    {6, L"Clear the log", true},
    {2, L"Write the image into the receiver", false},
    {5, L"Erase FLASH and EEPROM", false},
    {1, L"Save the settings and exit", true},
};

struct TLampRole {
    TComLedSignal signal;
    TLedKind kind;
    const wchar_t* label;
};
const TLampRole LampRoles[5] = {
    {lsConn, lkBlueLight, L"Connection"}, {lsCTS, lkRedLight, L"CTS"},
    {lsDSR, lkYellowLight, L"DSR"},       {lsRing, lkPurpleLight, L"Ring"},
    {lsRLSD, lkGreenLight, L"RLSD"},
};

constexpr COLORREF Backgrounds[3] = {0xCC99FF, 0x99FFFF, 0xCCFFCC};
constexpr int BarHeight = 46; // 38-pixel buttons and the bar's border
constexpr int PanelWidth = 189;
constexpr int PanelHeight = 38;

HFONT SmallFont() {
    static const HFONT font = [] {
        LOGFONTW face{};
        GetObjectW(Layout::DialogFont(), sizeof(face), &face);
        face.lfHeight = -Px(8);
        return CreateFontIndirectW(&face);
    }();
    return font;
}

} // namespace

TWorkPage::TWorkPage(HWND page, int index, const TPageImages& images, TComPort& port)
    : m_index(index) {
    // The log sits in its group box, as a dialog's controls do: a sibling in front of it.
    m_groupBox = Child(page, L"BUTTON", L"Log window", BS_GROUPBOX, WinIds::GroupBox(index + 1));
    HWND edit = Child(page, L"RichEdit20W", L"",
                      WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                          ES_AUTOHSCROLL | ES_NOHIDESEL,
                      WinIds::RichEdit(index), 0, 0, 0, 0, WS_EX_CLIENTEDGE);
    m_log = std::make_unique<TRichLog>(edit);
    m_log->SetBackground(Backgrounds[index]);

    m_toolBar = Child(page, TOOLBARCLASSNAMEW, L"",
                      TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NOPARENTALIGN | CCS_NORESIZE |
                          CCS_NODIVIDER | WS_BORDER | WS_CLIPCHILDREN,
                      WinIds::ToolBar(index));
    SendMessageW(m_toolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    // The hints are the buttons' texts, shown only as tool tips.
    SendMessageW(m_toolBar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    HIMAGELIST toolBarImages = images.toolBar;
    HIMAGELIST disabledImages = images.disabledToolBar;
    HIMAGELIST lampImages = images.lamps;
    SendMessageW(m_toolBar, TB_SETIMAGELIST, 0, LPARAM(toolBarImages));
    SendMessageW(m_toolBar, TB_SETDISABLEDIMAGELIST, 0, LPARAM(disabledImages));
    int imageSize = 32, ignored = 0;
    ImageList_GetIconSize(toolBarImages, &imageSize, &ignored);
    SendMessageW(m_toolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(imageSize, imageSize));
    SendMessageW(m_toolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(Px(39), Px(38)));

    TBBUTTON buttons[11] = {};
    int count = 0;
    auto separator = [&](int width) {
        buttons[count].iBitmap = width;
        buttons[count].fsStyle = BTNS_SEP;
        ++count;
    };
    auto button = [&](TButtonRole role) {
        m_enabled[role] = Roles[role].enabledAtStart;
        TBBUTTON& b = buttons[count++];
        b.iBitmap = Roles[role].image;
        b.idCommand = WinIds::ToolButton(ButtonNumbers[index][role]);
        b.fsState = BYTE(m_enabled[role] ? TBSTATE_ENABLED : 0);
        b.fsStyle = BYTE(role == brPort ? BTNS_CHECK : BTNS_BUTTON);
        b.iString = INT_PTR(Roles[role].hint);
    };
    button(brPort);
    separator(8);
    button(brChoose);
    button(brClear);
    separator(8);
    button(brProgram);
    button(brErase);
    separator(8);
    button(brExit);
    separator(8);
    separator(Px(PanelWidth)); // where the lamp panel sits
    SendMessageW(m_toolBar, TB_ADDBUTTONSW, WPARAM(count), LPARAM(buttons));

    m_panel = Child(m_toolBar, L"STATIC", L"", WS_CLIPCHILDREN, WinIds::Panel(index), 0, 0,
                    PanelWidth, PanelHeight, WS_EX_STATICEDGE);
    for (int column = 0; column < 5; ++column) {
        const TLampRole& role = LampRoles[column];
        const int number = index * 5 + column + 1;
        m_lamps[size_t(column)] =
            std::make_unique<TLamp>(m_panel, WinIds::ComLed(number), lampImages);
        TLamp& lamp = *m_lamps[size_t(column)];
        lamp.SetKind(role.kind);
        lamp.SetLedSignal(role.signal);
        lamp.SetComPort(&port);
        // "Connection" takes a wider cell than the short names.
        const int cell = column == 0 ? 45 : 36;
        const int left = column == 0 ? 0 : 45 + (column - 1) * 36;
        MoveWindow(lamp.Handle(), Px(left + (cell - 17) / 2), Px(2), Px(17), Px(17), FALSE);
        HWND label =
            Child(m_panel, L"STATIC", role.label, SS_CENTER | SS_NOPREFIX, -1, left, 20, cell, 14);
        SendMessageW(label, WM_SETFONT, WPARAM(SmallFont()), FALSE);
    }
}

int TWorkPage::ButtonNumber(TButtonRole role) const {
    return ButtonNumbers[m_index][role];
}

std::optional<TButtonRole> TWorkPage::RoleOf(int commandId) const {
    for (int role = brPort; role <= brExit; ++role)
        if (WinIds::ToolButton(ButtonNumbers[m_index][role]) == commandId)
            return TButtonRole(role);
    return std::nullopt;
}

void TWorkPage::Resize(int width, int height) {
    const int bar = Px(BarHeight);
    const int gap = Px(4);
    const int boxHeight = height - bar - 3 * gap;
    MoveWindow(m_groupBox, gap, gap, width - 2 * gap, boxHeight, TRUE);
    MoveWindow(m_log->Handle(), gap + Px(8), gap + Px(18), width - 2 * gap - Px(16),
               boxHeight - Px(26), TRUE);
    MoveWindow(m_toolBar, gap, height - bar - gap, width - 2 * gap, bar, TRUE);
    RECT place{};
    SendMessageW(m_toolBar, TB_GETITEMRECT, 10, LPARAM(&place)); // the lamp panel's place
    MoveWindow(m_panel, place.left, (bar - Px(PanelHeight)) / 2 - 1, Px(PanelWidth),
               Px(PanelHeight), TRUE);
}

void TWorkPage::ApplyEnabled(TButtonRole role) {
    SendMessageW(m_toolBar, TB_ENABLEBUTTON, WPARAM(WinIds::ToolButton(ButtonNumber(role))),
                 MAKELPARAM(m_toolBarEnabled && m_enabled[role], 0));
}

void TWorkPage::SetButtonEnabled(TButtonRole role, bool enabled) {
    m_enabled[role] = enabled;
    ApplyEnabled(role);
}

void TWorkPage::SetToolBarEnabled(bool enabled) {
    m_toolBarEnabled = enabled;
    for (int role = brPort; role <= brExit; ++role)
        ApplyEnabled(TButtonRole(role));
    for (const std::unique_ptr<TLamp>& lamp : m_lamps)
        EnableWindow(lamp->Handle(), enabled);
}

bool TWorkPage::PortButtonDown() const {
    return SendMessageW(m_toolBar, TB_ISBUTTONCHECKED,
                        WPARAM(WinIds::ToolButton(ButtonNumber(brPort))), 0) != 0;
}

void TWorkPage::SetPortButtonDown(bool down) {
    SendMessageW(m_toolBar, TB_CHECKBUTTON, WPARAM(WinIds::ToolButton(ButtonNumber(brPort))),
                 MAKELPARAM(down, 0));
}

void TWorkPage::SetPortButtonImage(int image) {
    SendMessageW(m_toolBar, TB_CHANGEBITMAP, WPARAM(WinIds::ToolButton(ButtonNumber(brPort))),
                 LPARAM(image));
}

void TWorkPage::ShowLampPanel(bool shown) {
    ShowWindow(m_panel, shown ? SW_SHOW : SW_HIDE);
}
