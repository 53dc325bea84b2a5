#pragma once
// The four settings groups a port owns: time-outs, flow control, parity and queue sizes. Each
// knows its port and asks it to re-apply the group whenever a value changes; on a closed port
// the value is simply kept for the next open. UI thread only.

#include "ComTypes.h"
#include "Persistent.h"

#include <cstdint>

class TCustomComPort;

// Base of the four groups: the back-reference to the owning port (none when free-standing).
class TComSettings : public TPersistent {
public:
    TCustomComPort* ComPort() const { return m_comPort; }
    void SetComPort(TCustomComPort* port) { m_comPort = port; }

private:
    TCustomComPort* m_comPort = nullptr;
};

class TComTimeouts : public TComSettings {
public:
    const char* ClassName() const override { return "TComTimeouts"; }
    int32_t ReadInterval() const { return m_readInterval; }
    int32_t ReadTotalMultiplier() const { return m_readTotalM; }
    int32_t ReadTotalConstant() const { return m_readTotalC; }
    int32_t WriteTotalMultiplier() const { return m_writeTotalM; }
    int32_t WriteTotalConstant() const { return m_writeTotalC; }
    void SetReadInterval(int32_t value);
    void SetReadTotalM(int32_t value);
    void SetReadTotalC(int32_t value);
    void SetWriteTotalM(int32_t value);
    void SetWriteTotalC(int32_t value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    int32_t m_readInterval = -1;
    int32_t m_readTotalM = 0;
    int32_t m_readTotalC = 0;
    int32_t m_writeTotalM = 100;
    int32_t m_writeTotalC = 1000;
};

class TComFlowControl : public TComSettings {
public:
    const char* ClassName() const override { return "TComFlowControl"; }
    bool OutCTSFlow() const { return m_outCTSFlow; }
    bool OutDSRFlow() const { return m_outDSRFlow; }
    TDTRFlowControl ControlDTR() const { return m_controlDTR; }
    TRTSFlowControl ControlRTS() const { return m_controlRTS; }
    bool XonXoffOut() const { return m_xonXoffOut; }
    bool XonXoffIn() const { return m_xonXoffIn; }
    bool DSRSensitivity() const { return m_dsrSensitivity; }
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    char XonChar() const { return m_xonChar; }
    char XoffChar() const { return m_xoffChar; }
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
    bool m_outCTSFlow = false;
    bool m_outDSRFlow = false;
    TDTRFlowControl m_controlDTR = dtrDisable;
    TRTSFlowControl m_controlRTS = rtsDisable;
    bool m_xonXoffOut = false;
    bool m_xonXoffIn = false;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = false;
    char m_xonChar = 17;  // DC1
    char m_xoffChar = 19; // DC3
};

class TComParity : public TComSettings {
public:
    const char* ClassName() const override { return "TComParity"; }
    TParityBits Bits() const { return m_bits; }
    bool Check() const { return m_check; }
    bool Replace() const { return m_replace; }
    char ReplaceChar() const { return m_replaceChar; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    TParityBits m_bits = prNone;
    bool m_check = false;
    bool m_replace = false;
    char m_replaceChar = 0;
};

class TComBuffer : public TComSettings {
public:
    const char* ClassName() const override { return "TComBuffer"; }
    int32_t InputSize() const { return m_inputSize; }
    int32_t OutputSize() const { return m_outputSize; }
    // A positive odd size is lowered by one after it is stored.
    void SetInputSize(int32_t value);
    void SetOutputSize(int32_t value);

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void Changed();
    int32_t m_inputSize = 1024;
    int32_t m_outputSize = 1024;
};
