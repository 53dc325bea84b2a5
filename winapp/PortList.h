#pragma once
// The port list of the Configuration page: a drop-down list of the system's serial ports
// (from SERIALCOMM) that writes the user's pick into the receiver's port. The choosing logic
// is the selector's (controls/ComSelect.h); this is the list control around it. UI thread only.

#include "controls/ComSelect.h"
#include "winapp/WinApi.h"

#include <functional>
#include <string>

class TPortList final : private TComItems {
public:
    TPortList(HWND combo, TCustomComPort& port, TPortLister listPorts = EnumComPorts);

    HWND Handle() const { return m_combo; }
    // Refills the list with the system's ports as they are now and selects the first.
    void Refill();
    int Count() const;
    int Chosen() const; // -1 for none
    void Choose(int index);
    std::string ChosenName() const; // "" for none
    int Find(const std::string& name) const { return IndexOf(name); }
    // Writes the chosen port's name into the port (closed); none chosen, an empty name.
    void Apply();
    // The user picked an entry (CBN_SELCHANGE): stored, then the owner told through OnChange.
    void Picked();

    std::function<void()> OnChange;

private:
    void Clear() override;
    void Add(const std::string& item) override;
    int IndexOf(const std::string& item) const override;
    std::string ItemText(int index) const;

    HWND m_combo;
    TCustomComPort& m_port;
    TComSelect m_select;
};
