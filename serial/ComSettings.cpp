#include "ComSettings.h"

#include "ComPort.h"

namespace {

// Stores value in field when it differs; true when something changed, so the caller applies.
template <class T> bool Store(T& field, T value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

// --- TComTimeouts ---------------------------------------------------------------------------

// The port decides whether applying reaches a device (closed, loading, updating...); a group
// only reports that it changed. A failure raised there reaches the caller of the setter, and
// the value stays stored so that the next open uses it.
void TComTimeouts::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(int32_t value) {
    if (Store(m_readInterval, value))
        Changed();
}

void TComTimeouts::SetReadTotalM(int32_t value) {
    if (Store(m_readTotalM, value))
        Changed();
}

void TComTimeouts::SetReadTotalC(int32_t value) {
    if (Store(m_readTotalC, value))
        Changed();
}

void TComTimeouts::SetWriteTotalM(int32_t value) {
    if (Store(m_writeTotalM, value))
        Changed();
}

void TComTimeouts::SetWriteTotalC(int32_t value) {
    if (Store(m_writeTotalC, value))
        Changed();
}

// Copying a whole group goes field by field, not through the setters: the port that copies a
// group in (TCustomComPort::SetTimeouts) applies it once afterwards, not once per field.
void TComTimeouts::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComTimeouts*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->m_readInterval = m_readInterval;
    other->m_readTotalM = m_readTotalM;
    other->m_readTotalC = m_readTotalC;
    other->m_writeTotalM = m_writeTotalM;
    other->m_writeTotalC = m_writeTotalC;
}

// --- TComFlowControl ------------------------------------------------------------------------

void TComFlowControl::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyDCB();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
    if (Store(m_outCTSFlow, value))
        Changed();
}

void TComFlowControl::SetOutDSRFlow(bool value) {
    if (Store(m_outDSRFlow, value))
        Changed();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    if (Store(m_controlDTR, value))
        Changed();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    if (Store(m_controlRTS, value))
        Changed();
}

void TComFlowControl::SetXonXoffOut(bool value) {
    if (Store(m_xonXoffOut, value))
        Changed();
}

void TComFlowControl::SetXonXoffIn(bool value) {
    if (Store(m_xonXoffIn, value))
        Changed();
}

void TComFlowControl::SetDSRSensitivity(bool value) {
    if (Store(m_dsrSensitivity, value))
        Changed();
}

void TComFlowControl::SetTxContinueOnXoff(bool value) {
    if (Store(m_txContinueOnXoff, value))
        Changed();
}

void TComFlowControl::SetXonChar(char value) {
    if (Store(m_xonChar, value))
        Changed();
}

void TComFlowControl::SetXoffChar(char value) {
    if (Store(m_xoffChar, value))
        Changed();
}

// Only the four handshake fields name a summary; DTR, DSR and the characters are left to the
// user, so a receiver set up with DTR handshake still reads as fcNone.
TFlowControl TComFlowControl::GetFlowControl() const {
    if (m_controlRTS == rtsHandshake && m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcHardware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && m_xonXoffIn && m_xonXoffOut)
        return fcSoftware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcNone;
    return fcCustom;
}

// The fields are written directly so that a change of summary reaches the device in one
// ApplyDCB, not one per field. It applies even when nothing changed: choosing a summary is how
// a user asks for the handshake to be set up again.
void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value == fcHardware || value == fcSoftware || value == fcNone) {
        m_controlRTS = rtsDisable;
        m_outCTSFlow = false;
        m_xonXoffIn = false;
        m_xonXoffOut = false;
        if (value == fcHardware) {
            m_controlRTS = rtsHandshake;
            m_outCTSFlow = true;
        } else if (value == fcSoftware) {
            m_xonXoffIn = true;
            m_xonXoffOut = true;
        }
    }
    Changed();
}

void TComFlowControl::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComFlowControl*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->m_outCTSFlow = m_outCTSFlow;
    other->m_outDSRFlow = m_outDSRFlow;
    other->m_controlDTR = m_controlDTR;
    other->m_controlRTS = m_controlRTS;
    other->m_xonXoffOut = m_xonXoffOut;
    other->m_xonXoffIn = m_xonXoffIn;
    other->m_dsrSensitivity = m_dsrSensitivity;
    other->m_txContinueOnXoff = m_txContinueOnXoff;
    other->m_xonChar = m_xonChar;
    other->m_xoffChar = m_xoffChar;
}

// --- TComParity -----------------------------------------------------------------------------

void TComParity::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyDCB();
}

void TComParity::SetBits(TParityBits value) {
    if (Store(m_bits, value))
        Changed();
}

void TComParity::SetCheck(bool value) {
    if (Store(m_check, value))
        Changed();
}

void TComParity::SetReplace(bool value) {
    if (Store(m_replace, value))
        Changed();
}

void TComParity::SetReplaceChar(char value) {
    if (Store(m_replaceChar, value))
        Changed();
}

void TComParity::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComParity*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->m_bits = m_bits;
    other->m_check = m_check;
    other->m_replace = m_replace;
    other->m_replaceChar = m_replaceChar;
}

// --- TComBuffer -----------------------------------------------------------------------------

namespace {

// Queue sizes are always even, so a size read back (and saved) is the one the port was set up
// with; lowering rather than raising never asks for more memory than was set. Zero and
// negative sizes are left for the port to judge.
// The comparison in the setters is made before this, against what was asked for: asking for
// 1025 while 1024 is stored re-applies 1024.
int32_t EvenSize(int32_t size) {
    return size > 0 && size % 2 != 0 ? size - 1 : size;
}

} // namespace

void TComBuffer::Changed() {
    if (ComPort() != nullptr)
        ComPort()->ApplyBuffer();
}

void TComBuffer::SetInputSize(int32_t value) {
    if (value == m_inputSize)
        return;
    m_inputSize = EvenSize(value);
    Changed();
}

void TComBuffer::SetOutputSize(int32_t value) {
    if (value == m_outputSize)
        return;
    m_outputSize = EvenSize(value);
    Changed();
}

void TComBuffer::AssignTo(TPersistent& dest) const {
    auto* other = dynamic_cast<TComBuffer*>(&dest);
    if (other == nullptr) {
        TComSettings::AssignTo(dest);
        return;
    }
    other->m_inputSize = m_inputSize;
    other->m_outputSize = m_outputSize;
}
