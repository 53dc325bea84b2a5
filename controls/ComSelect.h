#pragma once
// The logic behind a port setting list: which setting it offers, the items for it, the value
// the user chose, and reading that setting from a port and writing it back. It knows nothing
// of widgets; the list it fills is the one the user sees, reached through TComItems.

#include "serial/ComTypes.h"
#include "serial/EnumComPorts.h"

#include <functional>
#include <string>
#include <vector>

class TCustomComPort;

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The item strings of a list control, seen from the selector. The selector writes straight into
// the control's own items instead of keeping a copy, so what it looks up is always what the
// user is shown, and it stays free of the widget toolkit.
class TComItems {
public:
    virtual ~TComItems() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::string& item) = 0;
    // Exact match, case included (port names are file names); -1 when absent.
    virtual int IndexOf(const std::string& item) const = 0;
};

// Where the port names come from: the system's devices, or a fixed list in a test.
using TPortLister = std::function<void(std::vector<std::string>& Ports)>;

class TComSelect {
public:
    explicit TComSelect(TComItems& items, TPortLister listPorts = EnumComPorts);

    TComProperty ComProperty() const { return FComProperty; }
    // Stores the setting and refills the list with its items.
    void SetComProperty(TComProperty value);

    // Not owned; the list control forgets it when the port goes.
    TCustomComPort* ComPort = nullptr;
    bool AutoApply = false;

    // Finds the port's present value in the list; when listed it becomes the chosen value.
    // Without a port, or under cpNone, `index` is left as it was.
    void UpdateSettings(int& index);
    // Stores a picked item as the chosen value, and writes it at once under AutoApply.
    void Change(const std::string& text);
    // Writes the chosen value of the current setting into the port.
    void ApplySettings();

    void SelectPort();
    void SelectBaudRate();
    void SelectDataBits();
    void SelectStopBits();
    void SelectParity();
    void SelectFlowControl();

private:
    // The chosen value of the current setting, converted from its text.
    void Store(const std::string& text);

    TComItems& m_items;
    TPortLister m_listPorts;
    TComProperty FComProperty = cpNone;
    // The chosen values, one per setting; only the current setting's is used. They start at
    // the port component's own defaults (and fcCustom, which rewrites no handshake field), so
    // an ApplySettings before anything was chosen does no harm.
    std::string m_port = "COM1";
    TBaudRate m_baudRate = br9600;
    TDataBits m_dataBits = dbEight;
    TStopBits m_stopBits = sbOneStopBit;
    TParityBits m_parity = prNone;
    TFlowControl m_flowControl = fcCustom;
};
