#include "controls/ComSelect.h"

#include "serial/ComConvert.h"
#include "serial/ComPort.h"

#include <utility>

namespace {

// Every value of an enumeration, first to last, in the texts the user sees and saves.
template <class E> void AddAll(TComItems& items, E first, E last, std::string (*toStr)(E)) {
    items.Clear();
    for (int value = first; value <= last; ++value)
        items.Add(toStr(E(value)));
}

} // namespace

TComSelect::TComSelect(TComItems& items, TPortLister listPorts)
    : m_items(items), m_listPorts(std::move(listPorts)) {}

void TComSelect::SetComProperty(TComProperty value) {
    FComProperty = value;
    switch (value) {
    case cpNone: m_items.Clear(); break;
    case cpPort: SelectPort(); break;
    case cpBaudRate: SelectBaudRate(); break;
    case cpDataBits: SelectDataBits(); break;
    case cpStopBits: SelectStopBits(); break;
    case cpParity: SelectParity(); break;
    case cpFlowControl: SelectFlowControl(); break;
    }
}

void TComSelect::UpdateSettings(int& index) {
    if (ComPort == nullptr || FComProperty == cpNone)
        return;
    std::string text;
    switch (FComProperty) {
    case cpNone: return;
    case cpPort: text = ComPort->Port(); break;
    case cpBaudRate: text = BaudRateToStr(ComPort->BaudRate()); break;
    case cpDataBits: text = DataBitsToStr(ComPort->DataBits()); break;
    case cpStopBits: text = StopBitsToStr(ComPort->StopBits()); break;
    case cpParity: text = ParityToStr(ComPort->Parity().Bits()); break;
    case cpFlowControl: text = FlowControlToStr(ComPort->FlowControl().GetFlowControl()); break;
    }
    index = m_items.IndexOf(text);
    // A value the list does not offer must not replace what was chosen: the user never saw it.
    // Only stored: reading the port must never write it back, whatever AutoApply says.
    if (index >= 0)
        Store(text);
}

void TComSelect::Change(const std::string& text) {
    Store(text);
    if (AutoApply)
        ApplySettings();
}

void TComSelect::Store(const std::string& text) {
    switch (FComProperty) {
    case cpNone: break;
    case cpPort: m_port = text; break;
    case cpBaudRate: m_baudRate = StrToBaudRate(text); break;
    case cpDataBits: m_dataBits = StrToDataBits(text); break;
    case cpStopBits: m_stopBits = StrToStopBits(text); break;
    case cpParity: m_parity = StrToParity(text); break;
    case cpFlowControl: m_flowControl = StrToFlowControl(text); break;
    }
}

void TComSelect::ApplySettings() {
    if (ComPort == nullptr)
        return;
    switch (FComProperty) {
    case cpNone: break;
    case cpPort: ComPort->SetPort(m_port); break;
    case cpBaudRate: ComPort->SetBaudRate(m_baudRate); break;
    case cpDataBits: ComPort->SetDataBits(m_dataBits); break;
    case cpStopBits: ComPort->SetStopBits(m_stopBits); break;
    case cpParity: ComPort->Parity().SetBits(m_parity); break;
    case cpFlowControl: ComPort->FlowControl().SetFlowControl(m_flowControl); break;
    }
}

void TComSelect::SelectPort() {
    // Listed before the list is emptied, so a failing listing leaves the old items in place.
    std::vector<std::string> ports;
    if (m_listPorts)
        m_listPorts(ports);
    m_items.Clear();
    for (const std::string& port : ports)
        m_items.Add(port);
}

void TComSelect::SelectBaudRate() {
    AddAll(m_items, brCustom, br256000, BaudRateToStr);
}
void TComSelect::SelectDataBits() {
    AddAll(m_items, dbFive, dbEight, DataBitsToStr);
}
void TComSelect::SelectStopBits() {
    AddAll(m_items, sbOneStopBit, sbTwoStopBits, StopBitsToStr);
}
void TComSelect::SelectParity() {
    AddAll(m_items, prNone, prSpace, ParityToStr);
}
void TComSelect::SelectFlowControl() {
    AddAll(m_items, fcHardware, fcCustom, FlowControlToStr);
}
