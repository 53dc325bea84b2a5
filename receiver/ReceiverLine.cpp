#include "receiver/ReceiverLine.h"

#include "serial/ComPort.h"

void SetReceiverLine(TComPort& port) {
    port.SetBaudRate(br19200);
    port.SetPort("COM1"); // until the kept options name the port
    port.Parity().SetBits(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.Events = AllComEvents;
    port.FlowControl().SetOutCTSFlow(false);
    port.FlowControl().SetOutDSRFlow(false);
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsHandshake);
    port.FlowControl().SetXonXoffOut(false);
    port.FlowControl().SetXonXoffIn(false);
}
