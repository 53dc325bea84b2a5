#include "winapp/PortList.h"

#include "external/WinText.h"
#include "serial/ComPort.h"

TPortList::TPortList(HWND combo, TCustomComPort& port, TPortLister listPorts)
    : m_combo(combo), m_port(port), m_select(*this, std::move(listPorts)) {
    m_select.ComPort = &port;
}

void TPortList::Refill() {
    m_select.SetComProperty(cpPort);
    Choose(Count() > 0 ? 0 : -1);
}

int TPortList::Count() const {
    return int(SendMessageW(m_combo, CB_GETCOUNT, 0, 0));
}

int TPortList::Chosen() const {
    const LRESULT index = SendMessageW(m_combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int(index);
}

void TPortList::Choose(int index) {
    // An index outside the list leaves nothing chosen.
    SendMessageW(m_combo, CB_SETCURSEL, index >= 0 && index < Count() ? WPARAM(index) : WPARAM(-1),
                 0);
}

std::string TPortList::ChosenName() const {
    return ItemText(Chosen());
}

void TPortList::Apply() {
    m_port.SetPort(ChosenName());
}

void TPortList::Picked() {
    m_select.Change(ChosenName());
    if (OnChange)
        OnChange();
}

void TPortList::Clear() {
    SendMessageW(m_combo, CB_RESETCONTENT, 0, 0);
}

void TPortList::Add(const std::string& item) {
    SendMessageW(m_combo, CB_ADDSTRING, 0, LPARAM(Widen(item).c_str()));
}

int TPortList::IndexOf(const std::string& item) const {
    // Exact, case included: the list's own search ignores case.
    for (int i = 0; i < Count(); ++i)
        if (ItemText(i) == item)
            return i;
    return -1;
}

std::string TPortList::ItemText(int index) const {
    if (index < 0)
        return {};
    const LRESULT length = SendMessageW(m_combo, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR || length > 4096)
        return {};
    std::wstring text(size_t(length) + 1, L'\0');
    SendMessageW(m_combo, CB_GETLBTEXT, WPARAM(index), LPARAM(text.data()));
    text.resize(size_t(length));
    return Narrow(text);
}
