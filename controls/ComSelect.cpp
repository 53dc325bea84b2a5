#include "ComSelect.h"

#include "ComConvert.h"
#include "ComPort.h"

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
    : FItems(items), FListPorts(std::move(listPorts)) {}

void TComSelect::SetComProperty(TComProperty value) {
    FComProperty = value;
    switch (value) {
    case cpNone: FItems.Clear(); break;
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
    index = FItems.IndexOf(text);
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
    case cpPort: FPort = text; break;
    case cpBaudRate: FBaudRate = StrToBaudRate(text); break;
    case cpDataBits: FDataBits = StrToDataBits(text); break;
    case cpStopBits: FStopBits = StrToStopBits(text); break;
    case cpParity: FParity = StrToParity(text); break;
    case cpFlowControl: FFlowControl = StrToFlowControl(text); break;
    }
}

void TComSelect::ApplySettings() {
    if (ComPort == nullptr)
        return;
    switch (FComProperty) {
    case cpNone: break;
    case cpPort: ComPort->SetPort(FPort); break;
    case cpBaudRate: ComPort->SetBaudRate(FBaudRate); break;
    case cpDataBits: ComPort->SetDataBits(FDataBits); break;
    case cpStopBits: ComPort->SetStopBits(FStopBits); break;
    case cpParity: ComPort->Parity().SetBits(FParity); break;
    case cpFlowControl: ComPort->FlowControl().SetFlowControl(FFlowControl); break;
    }
}

void TComSelect::SelectPort() {
    // Listed before the list is emptied, so a failing listing leaves the old items in place.
    std::vector<std::string> ports;
    if (FListPorts)
        FListPorts(ports);
    FItems.Clear();
    for (const std::string& port : ports)
        FItems.Add(port);
}

void TComSelect::SelectBaudRate() { AddAll(FItems, brCustom, br256000, BaudRateToStr); }
void TComSelect::SelectDataBits() { AddAll(FItems, dbFive, dbEight, DataBitsToStr); }
void TComSelect::SelectStopBits() { AddAll(FItems, sbOneStopBit, sbTwoStopBits, StopBitsToStr); }
void TComSelect::SelectParity() { AddAll(FItems, prNone, prSpace, ParityToStr); }
void TComSelect::SelectFlowControl() { AddAll(FItems, fcHardware, fcCustom, FlowControlToStr); }
