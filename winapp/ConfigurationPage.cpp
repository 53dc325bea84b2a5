#include "winapp/ConfigurationPage.h"

#include "serial/ComPort.h"
#include "winapp/ControlIds.h"
#include "winapp/Layout.h"
#include "winapp/WinApi.h"

#include <climits>
#include <cwctype>
#include <string>

using Layout::Child;

TConfigurationPage::TConfigurationPage(HWND page, TComPort& port, TPortLister listPorts)
    : m_page(page) {
    const DWORD box = BS_GROUPBOX;
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    Child(page, L"BUTTON", L"Comunication", box, WinIds::GroupBox(4), 8, 8, 232, 160);
    Child(page, L"STATIC", L"Serial port", 0, -1, 20, 32, 100, 16);
    HWND combo = Child(page, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                       WinIds::DecPort, 20, 50, 120, 200);
    Child(page, L"BUTTON", L"Show full comunication", check, WinIds::CheckBox(1), 20, 84, 200, 20);
    Child(page, L"BUTTON", L"Show COM status", check, WinIds::CheckBox(2), 20, 108, 200, 20);
    Child(page, L"BUTTON", L"Open port at startup", check, WinIds::CheckBox(4), 20, 132, 200, 20);

    Child(page, L"BUTTON", L"General", box, WinIds::GroupBox(5), 248, 8, 232, 160);
    Child(page, L"BUTTON", L"Confirm data loading", check, WinIds::CheckBox(3), 260, 32, 200, 20);
    Child(page, L"BUTTON", L"Always freeze", check, WinIds::CheckBox(5), 260, 56, 200, 20);
    Child(page, L"STATIC", L"Send command delay", 0, -1, 260, 88, 150, 16);
    HWND edit = Child(page, L"EDIT", L"500", ES_AUTOHSCROLL | WS_TABSTOP, WinIds::Spin1, 260, 106,
                      90, 22, WS_EX_CLIENTEDGE);
    // No bounds and no thousands separators: the text is read back as a plain whole number.
    HWND arrows = Child(page, UPDOWN_CLASSW, L"",
                        UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS,
                        WinIds::Spin1Arrows);
    SendMessageW(arrows, UDM_SETBUDDY, WPARAM(edit), 0);
    SendMessageW(arrows, UDM_SETRANGE32, WPARAM(INT_MIN), LPARAM(INT_MAX));
    SendMessageW(arrows, UDM_SETPOS32, 0, 500);

    Tick(3, true);
    Tick(5, true);
    m_portList = std::make_unique<TPortList>(combo, port, std::move(listPorts));
}

bool TConfigurationPage::Ticked(int number) const {
    return SendMessageW(Box(WinIds::CheckBox(number)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TConfigurationPage::Tick(int number, bool on) {
    SendMessageW(Box(WinIds::CheckBox(number)), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TConfigurationPage::SetShowComStatusBox(bool on) {
    Tick(2, on);
    if (ComStatusClicked)
        ComStatusClicked();
}

int32_t TConfigurationPage::Delay() const {
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(m_page, WinIds::Spin1), text, 64);
    return WholeNumber(text);
}

void TConfigurationPage::StepDelay(int delta) {
    const long long stepped = (long long)Delay() + delta;
    SetCommandDelayBox(stepped > INT_MAX   ? INT_MAX
                       : stepped < INT_MIN ? INT_MIN
                                           : int32_t(stepped));
}

void TConfigurationPage::SetCommandDelayBox(int32_t milliseconds) {
    SendMessageW(GetDlgItem(m_page, WinIds::Spin1Arrows), UDM_SETPOS32, 0, milliseconds);
    SetWindowTextW(GetDlgItem(m_page, WinIds::Spin1), std::to_wstring(milliseconds).c_str());
}

int32_t TConfigurationPage::WholeNumber(const std::wstring& text) {
    size_t i = 0, end = text.size();
    while (i < end && std::iswspace(text[i]))
        ++i;
    while (end > i && std::iswspace(text[end - 1]))
        --end;
    const bool negative = i < end && text[i] == L'-';
    if (i < end && (text[i] == L'-' || text[i] == L'+'))
        ++i;
    if (i == end)
        return 0;
    long long value = 0;
    for (; i < end; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return 0;
        value = value * 10 + (text[i] - L'0');
        if (value > 1LL + INT_MAX)
            return 0;
    }
    value = negative ? -value : value;
    return value < INT_MIN || value > INT_MAX ? 0 : int32_t(value);
}
