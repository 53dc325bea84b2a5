#pragma once
// The receiver's serial line as both windows set up their port: 19200 baud, eight data bits,
// no parity, one stop bit, every line event, DTR and RTS handshake without output flow
// control. Everything else keeps the port's defaults.

class TComPort;

void SetReceiverLine(TComPort& port);
