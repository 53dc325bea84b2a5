#pragma once
// The four settings groups a port owns: time-outs, flow control, parity and queue sizes. Each
// knows its port and asks it to re-apply the group whenever a value changes; on a closed port
// the value is simply kept for the next open. UI thread only.

#include "serial/ComTypes.h"
#include "serial/Persistent.h"

#include <cstdint>

class TCustomComPort;

// Base of the four groups: the back-reference to the owning port (none when free-standing).
class TComSettings : public TPersistent {
public:
    TCustomComPort* ComPort() const { return FComPort; }
    void SetComPort(TCustomComPort* port) { FComPort = port; }

private:
    TCustomComPort* FComPort = nullptr;
};

class TComTimeouts : public TComSettings {
public:
    const char* ClassName() const override { return "TComTimeouts"; }
    int32_t ReadInterval() const { return FReadInterval; }
    int32_t ReadTotalMultiplier() const { return FReadTotalMultiplier; }
    int32_t ReadTotalConstant() const { return FReadTotalConstant; }
    int32_t WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    int32_t WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetReadInterval(int32_t value);
    void SetReadTotalM(int32_t value);
    void SetReadTotalC(int32_t value);
    void SetWriteTotalM(int32_t value);
    void SetWriteTotalC(int32_t value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    int32_t FReadInterval = -1;
    int32_t FReadTotalMultiplier = 0;
    int32_t FReadTotalConstant = 0;
    int32_t FWriteTotalMultiplier = 100;
    int32_t FWriteTotalConstant = 1000;
};

class TComFlowControl : public TComSettings {
public:
    const char* ClassName() const override { return "TComFlowControl"; }
    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }
    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);

    // A summary of the handshake fields; setting it rewrites them and always re-applies.
    TFlowControl GetFlowControl() const;
    void SetFlowControl(TFlowControl value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    char FXonChar = 17;  // DC1
    char FXoffChar = 19; // DC3
};

class TComParity : public TComSettings {
public:
    const char* ClassName() const override { return "TComParity"; }
    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    char ReplaceChar() const { return FReplaceChar; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    char FReplaceChar = 0;
};

class TComBuffer : public TComSettings {
public:
    const char* ClassName() const override { return "TComBuffer"; }
    int32_t InputSize() const { return FInputSize; }
    int32_t OutputSize() const { return FOutputSize; }
    // A positive odd size is lowered by one after it is stored.
    void SetInputSize(int32_t value);
    void SetOutputSize(int32_t value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    int32_t FInputSize = 1024;
    int32_t FOutputSize = 1024;
};
